// The elevated destination: what the descriptor handed to the system grants (Wine neither stores
// nor enforces access lists, so the descriptor is examined, not read back from a folder), and
// a reset that leaves an existing folder empty whatever it held.
#include "extractor/app/trusted_folder_win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using sfx::PathState;

struct Grant {
    WELL_KNOWN_SID_TYPE who;
    ACCESS_MASK mask;
};

bool SidIs(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return ::CreateWellKnownSid(type, nullptr, buffer, &size) && ::EqualSid(sid, buffer);
}

TEST(TrustedFolderDescriptor, OnlySystemAndAdministratorsMayWriteEveryUserMayReadAndRun) {
    DWORD error = 0;
    fw::UniqueLocal descriptor = sfx::DescriptorFromSddl(sfx::kTrustedFolderSddl, error);
    ASSERT_TRUE(descriptor) << error;

    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    ASSERT_TRUE(::GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
    EXPECT_TRUE(SidIs(owner, WinBuiltinAdministratorsSid));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing may be inherited from the user's temporary folder";

    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    ASSERT_TRUE(present && dacl);
    const Grant expected[] = {{WinLocalSystemSid, FILE_ALL_ACCESS},
                              {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                              {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
    ASSERT_EQ(3u, dacl->AceCount);
    const ACCESS_MASK anyWrite = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                 FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, &raw));
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        // Inherited by every file and folder created inside.
        EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags & 0x0F) << i;
        PSID sid = &ace->SidStart;
        EXPECT_TRUE(SidIs(sid, expected[i].who)) << i;
        EXPECT_EQ(expected[i].mask, ace->Mask) << i;
        if (expected[i].who == WinBuiltinUsersSid) {
            EXPECT_EQ(0u, ace->Mask & anyWrite);
        }
    }
}

TEST(TrustedFolder, ResetEmptiesWhatWasPlantedAndCreateNeverReusesAName) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("trusted-" + std::to_string(::GetCurrentProcessId()));
    fs::remove_all(root);
    fs::create_directories(root / "B" / "sub" / "deeper");
    std::ofstream(root / "B" / "Brevane.exe") << "planted";
    std::ofstream(root / "B" / "sub" / "deeper" / "tool.exe") << "planted";
    std::string planted = (root / "B" / "Brevane.exe").string();
    ASSERT_TRUE(::SetFileAttributesA(planted.c_str(), FILE_ATTRIBUTE_READONLY));
    std::string folder = (root / "B").string();

    EXPECT_EQ(PathState::Folder, sfx::InspectPath(folder));
    EXPECT_EQ(PathState::Other, sfx::InspectPath(planted));
    EXPECT_EQ(PathState::Missing, sfx::InspectPath((root / "none").string()));
    EXPECT_EQ(PathState::Missing, sfx::InspectPath((root / "none" / "deeper").string()));

    DWORD error = 0;
    ASSERT_TRUE(sfx::ResetFolder(folder, sfx::kTrustedFolderSddl, error)) << error;
    EXPECT_TRUE(fs::is_empty(folder));

    EXPECT_FALSE(sfx::CreateFolderWithAccess(folder, sfx::kTrustedFolderSddl, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), error);
    std::string fresh = (root / "B.1").string();
    ASSERT_TRUE(sfx::CreateFolderWithAccess(fresh, sfx::kTrustedFolderSddl, error)) << error;
    EXPECT_EQ(PathState::Folder, sfx::InspectPath(fresh));

    EXPECT_FALSE(sfx::ResetFolder((root / "none").string(), sfx::kTrustedFolderSddl, error));
    fs::remove_all(root);
}

}  // namespace
