// The elevated destination: what the descriptor handed to the system grants and how the folder
// is created (Wine neither stores nor enforces access lists, so what is handed to the system is
// examined, not read back from a folder).
#include "extractor/app/trusted_folder_win32.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <filesystem>
#include <string>

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

// What the folder creation hands the system, recorded by a stand-in for the system call.
struct CreateCall {
    int calls = 0;
    std::wstring name;
    ACCESS_MASK access = 0;
    ULONG share = 0, disposition = 0, options = 0;
    std::string ownerOfDescriptor;
    bool protectedDacl = false;
    DWORD aces = 0;
};
CreateCall g_call;

NTSTATUS NTAPI RecordingCreate(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK,
                               PLARGE_INTEGER, ULONG, ULONG share, ULONG disposition, ULONG options, PVOID, ULONG) {
    ++g_call.calls;
    g_call.name.assign(attributes->ObjectName->Buffer, attributes->ObjectName->Length / sizeof(wchar_t));
    g_call.access = access;
    g_call.share = share;
    g_call.disposition = disposition;
    g_call.options = options;
    PSECURITY_DESCRIPTOR descriptor = attributes->SecurityDescriptor;
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    char* text = nullptr;
    if (descriptor && ::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner &&
        ::ConvertSidToStringSidA(owner, &text)) {
        g_call.ownerOfDescriptor = text;
        ::LocalFree(text);
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (descriptor && ::GetSecurityDescriptorControl(descriptor, &control, &revision))
        g_call.protectedDacl = (control & SE_DACL_PROTECTED) != 0;
    PACL dacl = nullptr;
    if (descriptor && ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && dacl)
        g_call.aces = dacl->AceCount;
    // The name exists: what the system answers for a name someone made first.
    if (g_call.calls == 1) return static_cast<NTSTATUS>(0xC0000035);
    *handle = ::CreateFileA(".", READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    return 0;
}

TEST(TrustedFolder, CreatedNewWithItsDescriptorInTheSameCallAndHeldWithoutDeleteSharing) {
    g_call = CreateCall{};
    fw::UniqueFile folder;
    sfx::HeldFolder held;
    DWORD error = 0;
    const std::string path = "C:\\windows\\Temp\\B.0123456789abcdef0123456789abcdef";
    EXPECT_FALSE(sfx::CreateHeldFolder(&RecordingCreate, path, sfx::kTrustedFolderSddl, folder, held, error));
    EXPECT_EQ(static_cast<DWORD>(sfx::kErrorAlreadyExists), error);
    EXPECT_FALSE(folder);

    ASSERT_TRUE(sfx::CreateHeldFolder(&RecordingCreate, path, sfx::kTrustedFolderSddl, folder, held, error)) << error;
    EXPECT_TRUE(folder);
    EXPECT_EQ(L"\\??\\C:\\windows\\Temp\\B.0123456789abcdef0123456789abcdef", g_call.name);
    EXPECT_EQ(static_cast<ULONG>(FILE_CREATE), g_call.disposition) << "an existing folder is never opened";
    EXPECT_EQ(0u, g_call.share & FILE_SHARE_DELETE) << "nobody may rename or delete it while it is held";
    EXPECT_EQ(0x00200001u, g_call.options & 0x00200001u) << "a folder, and a link at its name is not followed";
    EXPECT_EQ(0u, g_call.access & (DELETE | WRITE_DAC | WRITE_OWNER));
    EXPECT_EQ("S-1-5-32-544", g_call.ownerOfDescriptor);
    EXPECT_TRUE(g_call.protectedDacl);
    EXPECT_EQ(3u, g_call.aces);
    EXPECT_FALSE(held.finalPath.empty());  // what the handle says, checked by the launcher

    // A relative or malformed path is never handed over.
    g_call = CreateCall{};
    EXPECT_FALSE(sfx::CreateHeldFolder(&RecordingCreate, "Temp\\B.1", sfx::kTrustedFolderSddl, folder, held, error));
    EXPECT_EQ(0, g_call.calls);
}

TEST(TrustedFolder, AFolderIsMadeOnceUnderItsNameAndHeld) {
    namespace fs = std::filesystem;
    std::string hex;
    DWORD error = 0;
    ASSERT_TRUE(sfx::RandomHex128(hex, error)) << error;
    ASSERT_EQ(32u, hex.size());
    std::string other;
    ASSERT_TRUE(sfx::RandomHex128(other, error));
    EXPECT_NE(hex, other);
    fs::path root = fs::temp_directory_path() / ("held-" + hex);
    std::string path = fs::absolute(root).string();
    fw::UniqueFile folder;
    sfx::HeldFolder held;
    ASSERT_TRUE(sfx::CreateHeldFolder(sfx::SystemNtCreateFile(), path, sfx::kTrustedFolderSddl, folder, held, error))
        << error;
    EXPECT_TRUE(sfx::SamePath(held.finalPath, path)) << held.finalPath;
    EXPECT_EQ(PathState::Folder, sfx::InspectPath(path));
    fw::UniqueFile again;
    EXPECT_FALSE(sfx::CreateHeldFolder(sfx::SystemNtCreateFile(), path, sfx::kTrustedFolderSddl, again, held, error));
    EXPECT_EQ(static_cast<DWORD>(sfx::kErrorAlreadyExists), error);
    folder.reset();
    fs::remove(root);
}

}  // namespace
