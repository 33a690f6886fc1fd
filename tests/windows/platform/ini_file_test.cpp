#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/captured_log.h"
#include "updater/platform/secure_flash.h"

namespace fs = std::filesystem;

namespace {

fs::path ProgramFolder() {
    char module[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    return fs::path(module).parent_path();
}

// Writes a file and removes it again at the end of the test.
class TempFile {
public:
    TempFile(fs::path path, const std::string& text) : m_path(std::move(path)) {
        std::ofstream(m_path, std::ios::binary) << text;
    }
    ~TempFile() {
        std::error_code ignored;
        fs::remove(m_path, ignored);
    }

private:
    fs::path m_path;
};

// Runs the test from another current directory and restores the old one.
class OtherCurrentDirectory {
public:
    explicit OtherCurrentDirectory(const fs::path& folder) : m_saved(fs::current_path()) { fs::current_path(folder); }
    ~OtherCurrentDirectory() { fs::current_path(m_saved); }

private:
    fs::path m_saved;
};

TEST(CIniFile, FindsItsFileBesideTheProgramFromAnotherCurrentDirectory) {
    testsupport::CapturedLog log;
    const std::string name = "ini_file_test_" + std::to_string(::GetCurrentProcessId()) + ".ini";
    TempFile beside(ProgramFolder() / name, "[settings]\r\nSecEn=1\r\nSecAVer=A10\r\n");
    TempFile decoy(log.Folder() / name, "[settings]\r\nSecEn=7\r\n");
    OtherCurrentDirectory elsewhere(log.Folder());

    CIniFile ini(name);
    EXPECT_EQ(name, ini.m_strName);
    EXPECT_EQ('\\', ini.m_strFolder.back());
    EXPECT_EQ(ini.m_strFolder + name, ini.m_strPath);
    EXPECT_EQ(1, ini.ReadInt("settings", "SecEn", 0));
    EXPECT_EQ("A10", ini.ReadString("settings", "SecAVer", ""));
    EXPECT_EQ("", ini.ReadString("settings", "SecXVer", ""));
    EXPECT_EQ(42, ini.ReadInt("settings", "EnVerT", 42));
}

TEST(CIniFile, FolderGetsItsBackslashAndLongValuesAreCut) {
    testsupport::CapturedLog log;
    TempFile file(log.Folder() / "long.ini", "[settings]\r\nSecCapFlie=" + std::string(5000, 'c') + "\r\n");
    CIniFile ini("long.ini", log.Folder().string());
    EXPECT_EQ(log.Folder().string() + "\\", ini.m_strFolder);
    EXPECT_EQ(4095u, ini.ReadString("settings", "SecCapFlie", "").size());
    CIniFile missing("absent.ini", log.Folder().string() + "\\");
    EXPECT_EQ(log.Folder().string() + "\\", missing.m_strFolder);
    EXPECT_EQ(0, missing.ReadInt("settings", "SecEn", 0));
}

struct SecureCase {
    const char* name;
    const char* ini;
    const char* current;
    int result;
    const char* rom;
    std::vector<std::string> lines;
};

class SelectSecureFlashFileOnDisk : public testing::TestWithParam<SecureCase> {};

TEST_P(SelectSecureFlashFileOnDisk, ExactLogLines) {
    const SecureCase& c = GetParam();
    testsupport::CapturedLog log;
    TempFile file(log.Folder() / "settings.ini", c.ini);
    CIniFile ini("settings.ini", log.Folder().string());
    std::string rom = "bios.bin";
    EXPECT_EQ(c.result, SelectSecureFlashFile(ini, c.current, rom, false));
    EXPECT_EQ(c.rom, rom);
    EXPECT_EQ(c.lines, log.Lines());
}

const char* const kAX = "[settings]\r\nSecEn=1\r\nSecAVer=A10\r\nSecXVer=X05\r\nSecCapFlie=secure.cap\r\n";

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, SelectSecureFlashFileOnDisk,
    testing::Values(
        SecureCase{"A12Reached", kAX, "A12", 0, "secure.cap",
                   {"Secure flash Info, CurVer:A12, VerA:A10, VerX:X05", "Info, A Ver cmp => Secure:10, Cur:12",
                    "Secure flash Info, Compare result:0 [Error:]",
                    "Secure flash, Change BIOS file to secure file[secure.cap]"}},
        SecureCase{"A09Below", kAX, "A09", 0, "bios.bin",
                   {"Secure flash Info, CurVer:A09, VerA:A10, VerX:X05", "Info, A Ver cmp => Secure:10, Cur:9",
                    "Secure flash Info, Compare result:1 [Error:]"}},
        SecureCase{"X05Equal", kAX, "X05", 0, "secure.cap",
                   {"Secure flash Info, CurVer:X05, VerA:A10, VerX:X05", "Info, X Ver cmp => Secure:5, Cur:5",
                    "Secure flash Info, Compare result:0 [Error:]",
                    "Secure flash, Change BIOS file to secure file[secure.cap]"}},
        SecureCase{"T03WithoutEnVerT", kAX, "T03", 0, "bios.bin",
                   {"Secure flash Info, CurVer:T03, VerA:A10, VerX:X05",
                    "Secure flash Info, Compare result:-1 [Error:Error]"}},
        SecureCase{"Dotted", kAX, "1.2.3", 0, "bios.bin",
                   {"Secure flash Info, CurVer:1.2.3, VerA:A10, VerX:X05",
                    "Secure flash Info, Compare result:-1 [Error:Error: Only support comparing for Axx or Xxx format",
                    "]"}},
        SecureCase{"SecEn2", "[settings]\r\nSecEn=2\r\nSecAVer=A10\r\nSecXVer=X05\r\n", "A12", 1, "bios.bin",
                   {"Secure flash Info, Disable secure update"}},
        SecureCase{"BothA", "[settings]\r\nSecEn=1\r\nSecAVer=A10\r\nSecXVer=A05\r\nSecCapFlie=s.cap\r\n", "A07", 0,
                   "s.cap",
                   {"Secure flash Info, CurVer:A07, VerA:A10, VerX:A05", "Info, X Ver cmp => Secure:5, Cur:7",
                    "Secure flash Info, Compare result:0 [Error:]",
                    "Secure flash, Change BIOS file to secure file[s.cap]"}},
        SecureCase{"MissingX", "[settings]\r\nSecEn=1\r\nSecAVer=A10\r\n", "A12", -1, "bios.bin",
                   {"Secure flash Error., Enable secure flash, but cannot get X version number.[settings.ini error]"}},
        SecureCase{"TEnabled", "[settings]\r\nSecEn=1\r\nSecAVer=A10\r\nSecXVer=X05\r\nEnVerT=1\r\nSecTVer=T04\r\n",
                   "T03", 0, "bios.bin",
                   {"Secure flash Info, CurVer:T03, VerA:A10, VerX:X05", "Info, T Ver cmp => Secure:4, Cur:3",
                    "Secure flash Info, Compare result:1 [Error:]"}}),
    [](const testing::TestParamInfo<SecureCase>& info) { return std::string(info.param.name); });

TEST(SelectSecureFlashFile, ReadsSettingsBesideTheProgramAndAnswersTheImage) {
    testsupport::CapturedLog log;
    TempFile settings(ProgramFolder() / "settings.ini", kAX);
    OtherCurrentDirectory elsewhere(log.Folder());
    EXPECT_EQ("secure.cap", SelectSecureFlashFile("A12", "bios.bin", false));
    EXPECT_EQ("bios.bin", SelectSecureFlashFile("A09", "bios.bin", false));
}

}  // namespace
