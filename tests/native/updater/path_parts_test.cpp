#include "updater/app/path_parts.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// GetFullPathNameA's answers for paths that are already absolute: the path itself.
uint32_t AbsoluteAsIs(const char* path, uint32_t size, char* buffer, uint32_t*) {
    uint32_t length = static_cast<uint32_t>(std::strlen(path));
    if (length >= size) return length + 1;
    std::memcpy(buffer, path, length + 1);
    return length;
}

uint32_t FailsWithError5(const char*, uint32_t, char*, uint32_t* lastError) {
    *lastError = 5;
    return 0;
}

struct SpecCase {
    const char* path;
    const char* root;
    const char* folder;
    const char* base;
    const char* ext;
    bool isFolder;
    const char* folderPath;
    const char* fileName;
};

class FileSpecTest : public testing::TestWithParam<SpecCase> {};

TEST_P(FileSpecTest, Splits) {
    const SpecCase& c = GetParam();
    CFileSpec parts;
    ASSERT_EQ(0, parts.Split(c.path, &AbsoluteAsIs)) << parts.m_strError;
    EXPECT_EQ(c.root, parts.m_strRoot);
    EXPECT_EQ(c.folder, parts.m_strFolder);
    EXPECT_EQ(c.base, parts.m_strBase);
    EXPECT_EQ(c.ext, parts.m_strExt);
    EXPECT_EQ(c.isFolder, parts.m_bIsFolder);
    EXPECT_EQ(c.folderPath, parts.GetFolderPath());
    EXPECT_EQ(c.fileName, parts.GetFileName());
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, FileSpecTest,
    testing::Values(
        SpecCase{"C:\\logs\\upd.log", "C:", "logs\\", "upd", "log", false, "C:\\logs\\", "upd.log"},
        SpecCase{"\\\\server\\share\\upd.log", "\\\\server", "share\\", "upd", "log", false, "\\\\server\\share\\",
                 "upd.log"},
        SpecCase{"d:\\upd.log", "d:", "", "upd", "log", false, "d:\\", "upd.log"},
        SpecCase{"C:\\a.b\\c\\name.tar.gz", "C:", "a.b\\c\\", "name.tar", "gz", false, "C:\\a.b\\c\\", "name.tar.gz"},
        // Without an extension the file name is the base name alone.
        SpecCase{"C:\\logs\\upd", "C:", "logs\\", "upd", "", false, "C:\\logs\\", "upd"},
        SpecCase{"C:\\logs\\upd.", "C:", "logs\\", "upd", "", false, "C:\\logs\\", "upd"},
        SpecCase{"C:\\logs\\sub\\", "C:", "logs\\sub\\", "", "", true, "C:\\logs\\sub\\", ""},
        SpecCase{"C:\\", "C:", "", "", "", true, "C:\\", ""}));

TEST(FileSpec, Failures) {
    CFileSpec parts;
    EXPECT_EQ(-1, parts.Split("x", &FailsWithError5));
    EXPECT_EQ("GetFullPathName ERR 5", parts.m_strError);

    std::string huge = "C:\\" + std::string(2045, 'a');  // 2048 characters: one too many with the terminator
    EXPECT_EQ(-2, parts.Split(huge.c_str(), &AbsoluteAsIs));
    EXPECT_EQ("Buffer size too small, required=2049", parts.m_strError);
    EXPECT_EQ(-3, parts.Split(huge.substr(1).c_str(), &AbsoluteAsIs));  // 2047 characters fit, but ":\" is no root

    EXPECT_EQ(-3, parts.Split("\\\\server", &AbsoluteAsIs));
    EXPECT_EQ("Bad FileSpec format at <Root>", parts.m_strError);
    EXPECT_EQ(-3, parts.Split("1:\\x", &AbsoluteAsIs));
    EXPECT_EQ(-3, parts.Split("/tmp/x", &AbsoluteAsIs));
    EXPECT_EQ("Bad FileSpec format at <Root>", parts.m_strError);
}

}  // namespace
