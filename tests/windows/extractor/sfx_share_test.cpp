// The package file is opened so that nobody may write, rename or delete it while Extractor
// holds it; reading it alongside stays possible.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "extractor/package/sfx_fs.h"
#include "framework/unique_handle_win32.h"

namespace {

TEST(SfxPackageOpen, RefusesWritingRenamingAndDeletingWhileOpen) {
    char folder[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, folder));
    std::string path = std::string(folder) + "sfx-share-" + std::to_string(::GetCurrentProcessId()) + ".exe";
    std::string moved = path + ".moved";
    {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, out);
        std::fputs("MZ package", out);
        std::fclose(out);
    }

    std::FILE* package = sfxfs::OpenForRead(path.c_str());
    ASSERT_NE(nullptr, package);
    fw::UniqueFile writer(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                        FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
    EXPECT_FALSE(::MoveFileA(path.c_str(), moved.c_str()));
    EXPECT_FALSE(::DeleteFileA(path.c_str()));
    fw::UniqueFile reader(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                        nullptr));
    EXPECT_TRUE(reader);
    reader.reset();
    char bytes[16] = {};
    EXPECT_EQ(10u, std::fread(bytes, 1, sizeof bytes, package));
    EXPECT_STREQ("MZ package", bytes);

    std::fclose(package);
    EXPECT_TRUE(::MoveFileA(path.c_str(), moved.c_str()));
    EXPECT_TRUE(::DeleteFileA(moved.c_str()));
}

}  // namespace
