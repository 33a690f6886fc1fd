// The package file is opened so that nobody may write, rename or delete it while Extractor
// holds it; reading it alongside stays possible. An extracted file is never written through
// another name of the file it replaces.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
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

// A hard link planted under an entry's name is refused before anything is written: the file it
// names elsewhere keeps its bytes. An ordinary existing file is replaced, as before.
TEST(SfxExtractedFile, RefusesAHardLinkAndReplacesAPlainFile) {
    char folder[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, folder));
    std::string base = std::string(folder) + "sfx-link-" + std::to_string(::GetCurrentProcessId());
    std::string elsewhere = base + ".target", entry = base + ".entry";
    auto write = [](const std::string& path, const char* text) {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(nullptr, out);
        std::fputs(text, out);
        std::fclose(out);
    };
    auto read = [](const std::string& path) {
        char bytes[32] = {};
        std::FILE* in = std::fopen(path.c_str(), "rb");
        if (!in) return std::string("<missing>");
        size_t got = std::fread(bytes, 1, sizeof bytes - 1, in);
        std::fclose(in);
        return std::string(bytes, got);
    };
    write(elsewhere, "system file");
    ASSERT_TRUE(::CreateHardLinkA(entry.c_str(), elsewhere.c_str(), nullptr));

    int error = 0;
    EXPECT_EQ(nullptr, sfxfs::CreateForWrite(entry.c_str(), &error));
    EXPECT_EQ(EACCES, error);
    EXPECT_EQ("system file", read(elsewhere));

    ASSERT_TRUE(::DeleteFileA(entry.c_str()));
    write(entry, "an older, longer extracted file");
    std::FILE* out = sfxfs::CreateForWrite(entry.c_str(), &error);
    ASSERT_NE(nullptr, out);
    std::fputs("new", out);
    std::fclose(out);
    EXPECT_EQ("new", read(entry));
    EXPECT_EQ("system file", read(elsewhere));
    ::DeleteFileA(entry.c_str());
    ::DeleteFileA(elsewhere.c_str());
}

}  // namespace
