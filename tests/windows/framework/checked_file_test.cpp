// Files opened through no link (a linked folder on the way is refused end to end, where Wine
// shows a symbolic link as a reparse point), folder chains made with their descriptor.
// Wine grants every access and stores no descriptor: what is handed to the system is examined
// through the folder-creation seam.
#include "framework/checked_file_win32.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> g_made;

BOOL Recording(const std::string& folder, const char* sddl) {
    g_made.push_back(folder + "|" + (sddl ? sddl : "inherited"));
    return fw::CreateFolderWithDescriptor(folder, nullptr);
}

class CheckedFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string hex;
        DWORD error = 0;
        ASSERT_TRUE(fw::RandomHex128(hex, error));
        root = fs::absolute(fs::temp_directory_path() / ("checked-" + hex));
        fs::create_directories(root / "present");
    }
    void TearDown() override { fs::remove_all(root); }
    std::string Win(const fs::path& path) { return path.string(); }
    fs::path root;
};

TEST_F(CheckedFileTest, MissingFoldersAreMadeWithTheDescriptorAndExistingOnesLeftAsTheyAre) {
    g_made.clear();
    std::string log = Win(root / "present" / "a" / "b") + "\\bios.log";
    ASSERT_TRUE(fw::CreateFolderChain(log, fw::kAdminOnlyFolderSddl, &Recording));
    const std::string sddl = std::string("|") + fw::kAdminOnlyFolderSddl;
    EXPECT_EQ((std::vector<std::string>{Win(root / "present" / "a") + sddl, Win(root / "present" / "a" / "b") + sddl}),
              g_made);
    EXPECT_TRUE(fs::is_directory(root / "present" / "a" / "b"));
    g_made.clear();
    ASSERT_TRUE(fw::CreateFolderChain(log, fw::kAdminOnlyFolderSddl, &Recording));
    EXPECT_TRUE(g_made.empty());
    // A file in the way of a folder: not made, not followed.
    std::FILE* in = std::fopen((root / "present" / "file").string().c_str(), "wb");
    ASSERT_NE(nullptr, in);
    std::fclose(in);
    EXPECT_FALSE(fw::CreateFolderChain(Win(root / "present" / "file" / "x") + "\\y.log", nullptr,
                                       &fw::CreateFolderWithDescriptor));
}

TEST_F(CheckedFileTest, OpensWhereThePathSaysAndNowhereElse) {
    fw::UniqueFile file;
    DWORD error = 0;
    std::string plain = Win(root / "present" / "log.txt");
    ASSERT_TRUE(fw::OpenWithoutLinks(plain, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, file, error))
        << error;
    EXPECT_TRUE(fw::HandleIsPath(file.get(), plain, error));
    EXPECT_FALSE(fw::HandleIsPath(file.get(), Win(root / "other.txt"), error));
    EXPECT_EQ(fw::kErrorLinkRefused, error);
    file.reset();

    // A relative name is the same file, found from the current directory.
    fs::path previous = fs::current_path();
    fs::current_path(root / "present");
    EXPECT_TRUE(fw::OpenWithoutLinks("log.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, file, error))
        << error;
    fs::current_path(previous);
    file.reset();

    // A folder on the way that does not exist is a path not found, as for any open by path.
    EXPECT_FALSE(fw::OpenWithoutLinks(Win(root / "none" / "x.txt"), GENERIC_WRITE, 0, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, file, error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);
}

}  // namespace
