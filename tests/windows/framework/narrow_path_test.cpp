// Narrow paths in a legacy code page (1252, as both programs run before Windows 10 1903). The
// names mix Cyrillic, CJK and Arabic, which no legacy code page holds together. The programs'
// own module and temporary paths, in UTF-8 and in 1252, are tested end to end
// (tests/e2e/test_extractor_paths.py).
#include "framework/narrow_path_win32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr UINT kLegacy = 1252;
const std::wstring kForeign = L"\u041F\u0430\u043A\u0435\u0442 \u66F4\u65B0 \u062A\u062D\u062F\u064A\u062B";

bool Exists(const std::string& narrowPath) { return ::GetFileAttributesA(narrowPath.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A folder tree under the temporary folder, created and removed through the wide functions:
// <temp>\narrow-<pid>\<foreign>\plain\<foreign>.exe
class NarrowPathTest : public testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_NE(0u, ::GetTempPathW(MAX_PATH + 1, temp));
        m_root = std::wstring(temp) + L"narrow-" + std::to_wstring(::GetCurrentProcessId());
        m_foreign = m_root + L"\\" + kForeign;
        m_plain = m_foreign + L"\\plain";
        m_file = m_plain + L"\\" + kForeign + L".exe";
        ASSERT_TRUE(::CreateDirectoryW(m_root.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(m_foreign.c_str(), nullptr));
        ASSERT_TRUE(::CreateDirectoryW(m_plain.c_str(), nullptr));
        HANDLE file = ::CreateFileW(m_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        ::CloseHandle(file);
    }
    void TearDown() override {
        ::DeleteFileW(m_file.c_str());
        ::RemoveDirectoryW(m_plain.c_str());
        ::RemoveDirectoryW(m_foreign.c_str());
        ::RemoveDirectoryW(m_root.c_str());
    }

    std::wstring m_root, m_foreign, m_plain, m_file;
};

TEST_F(NarrowPathTest, ComponentsOutsideTheCodePageTakeTheirShortNamesAndTheRestStays) {
    std::string narrow = "untouched";
    EXPECT_FALSE(fw::ToNarrowExact(kForeign, narrow, kLegacy));
    EXPECT_EQ("untouched", narrow);
    ASSERT_TRUE(fw::ToNarrowExact(m_root, narrow, kLegacy));
    const std::string root = narrow;

    // The lossy form the narrow functions would give names nothing.
    char lossy[MAX_PATH] = {};
    ASSERT_NE(0, ::WideCharToMultiByte(kLegacy, 0, m_file.c_str(), -1, lossy, MAX_PATH, nullptr, nullptr));
    EXPECT_FALSE(Exists(lossy)) << lossy;

    // Ours: the plain components as they are, the foreign ones by their short names, which are
    // ASCII and so name the file in any code page.
    ASSERT_TRUE(fw::NarrowPath(m_file, narrow, kLegacy));
    EXPECT_TRUE(Exists(narrow)) << narrow;
    EXPECT_EQ(std::string::npos, narrow.find('?')) << narrow;
    EXPECT_EQ(0u, narrow.find(root + "\\")) << narrow;
    const size_t plain = narrow.find("\\plain\\");
    ASSERT_NE(std::string::npos, plain) << narrow;
    EXPECT_EQ(std::string::npos, narrow.find('\\', plain + 7)) << narrow;  // the file's short name

    // A volume without short names gives the long name back as the short one: no narrow form.
    EXPECT_FALSE(fw::NarrowPathFrom(m_file, m_file, narrow, kLegacy));
    EXPECT_FALSE(fw::NarrowPathFrom(m_file, L"C:\\SHORT~1", narrow, kLegacy));  // forms that do not match
}

}  // namespace
