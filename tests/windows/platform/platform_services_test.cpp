#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include <filesystem>
#include <fstream>

#include "tests/support/captured_log.h"
#include "updater/platform/platform_os_win32.h"
#include "updater/platform/platform_services.h"

namespace fs = std::filesystem;

namespace {

class PlatformServicesTest : public testing::Test {
protected:
    testsupport::CapturedLog log;
};

// Silent, so that no message box is left waiting.
constexpr bool kSilent = true;

TEST_F(PlatformServicesTest, FileExistsIsASearch) {
    fs::path folder = log.Folder() / "images";
    fs::create_directories(folder);
    std::ofstream(folder / "bios_a05.bin") << "x";

    uint32_t attributes = 0;
    EXPECT_TRUE(FileExists(folder.string(), &attributes));
    EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(FileExists((folder / "*.bin").string(), &attributes));
    EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(FileExists((folder / "bios_a05.bin").string()));
    attributes = 0x1234;
    EXPECT_FALSE(FileExists((folder / "*.rom").string(), &attributes));
    EXPECT_EQ(0x1234u, attributes);  // untouched when nothing matches
    EXPECT_FALSE(FileExists((folder / "missing.bin").string()));
    EXPECT_FALSE(FileExists(""));
}

// Removes the Windows PE key from both registry views on the way out, so a failing assertion
// leaves the prefix clean.
struct WinPEKey {
    static constexpr const char* kPath = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\WinPE";
    ~WinPEKey() {
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kPath, KEY_WOW64_64KEY, 0);
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kPath, KEY_WOW64_32KEY, 0);
    }
    // Creates the key in one view; null when that fails.
    static HKEY Create(REGSAM view) {
        HKEY key = nullptr;
        if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                              nullptr) != ERROR_SUCCESS)
            return nullptr;
        return key;
    }
};

TEST_F(PlatformServicesTest, IsWinPEWantsTheKeyAndItsVersionValueInThe64BitView) {
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        HKEY existing = nullptr;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, WinPEKey::kPath, 0, KEY_READ | view, &existing) == ERROR_SUCCESS) {
            ::RegCloseKey(existing);
            GTEST_SKIP() << "this prefix has a Windows PE key of its own";
        }
    }
    EXPECT_FALSE(IsWinPE());

    WinPEKey cleanup;
    const char version[] = "10.0";
    // Written where only 32-bit programs look, the key does not make Windows PE: the system
    // itself keeps it in the 64-bit view, where a 32-bit build must look as well.
    HKEY redirected = WinPEKey::Create(KEY_WOW64_32KEY);
    ASSERT_NE(nullptr, redirected);
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(redirected, "Version", 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(version), sizeof version));
    ::RegCloseKey(redirected);
    EXPECT_FALSE(IsWinPE());

    HKEY key = WinPEKey::Create(KEY_WOW64_64KEY);
    ASSERT_NE(nullptr, key);
    EXPECT_FALSE(IsWinPE());  // the key alone is full Windows

    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, "Other", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_FALSE(IsWinPE());

    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), sizeof version));
    EXPECT_TRUE(IsWinPE());

    // Only presence counts: a value longer than the buffer is still there.
    std::string longVersion(600, '9');
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(key, "Version", 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(longVersion.c_str()),
                                              static_cast<DWORD>(longVersion.size() + 1)));
    EXPECT_TRUE(IsWinPE());
    ::RegCloseKey(key);
}

TEST_F(PlatformServicesTest, AdministratorAnswerIsLogged) {
    EXPECT_TRUE(IsAdministratorUser());  // Wine's shell answers yes
    PlatformOs no = RealPlatformOs();
    no.isUserAnAdmin = [] { return BOOL(FALSE); };
    EXPECT_FALSE(IsAdministratorUserUsing(no));
    EXPECT_EQ((std::vector<std::string>{"IsAdministratorUser, YES", "IsAdministratorUser, NO"}), log.Lines());
}

TEST_F(PlatformServicesTest, SetSingleProcessorBindsToTheFirstProcessor) {
    ASSERT_TRUE(SetSingleProcessor(true, kSilent));
    DWORD_PTR process = 0, system = 0;
    ASSERT_TRUE(::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system));
    EXPECT_EQ(1u, process);
    EXPECT_EQ(std::vector<std::string>{"SetSingleProcessor PASS"}, log.DebugTexts());
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(PlatformServicesTest, SetSingleProcessorFailureTracesTheErrorOnlyWithTheDeveloperOption) {
    PlatformOs failing = RealPlatformOs();
    failing.bindToFirstProcessor = [] {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return BOOL(FALSE);
    };
    EXPECT_FALSE(SetSingleProcessorUsing(failing, false, kSilent));
    EXPECT_TRUE(log.DebugTexts().empty());
    EXPECT_FALSE(SetSingleProcessorUsing(failing, true, kSilent));
    EXPECT_EQ(std::vector<std::string>{"SetSingleProcessor ERR : 0x57"}, log.DebugTexts());
}

TEST_F(PlatformServicesTest, Is64BitWindowsAsksWow64OnlyInA32BitProgram) {
    // Wine here is 64-bit: a 64-bit build answers at once, a 32-bit one through IsWow64Process.
    EXPECT_TRUE(Is64BitWindows());

    PlatformOs os = RealPlatformOs();
    os.isWow64Process = [](BOOL* wow64) { return *wow64 = FALSE, BOOL(TRUE); };  // 32-bit Windows
    PlatformOs failing = RealPlatformOs();
    failing.isWow64Process = [](BOOL* wow64) { return *wow64 = TRUE, BOOL(FALSE); };  // no answer
    PlatformOs wow64 = RealPlatformOs();
    wow64.isWow64Process = [](BOOL* answer) { return *answer = TRUE, BOOL(TRUE); };  // 64-bit Windows
    // The 32-bit build's rule, in whichever build runs here.
    EXPECT_FALSE(Is64BitWindowsFrom32BitProgram(os));
    EXPECT_FALSE(Is64BitWindowsFrom32BitProgram(failing));
    EXPECT_TRUE(Is64BitWindowsFrom32BitProgram(wow64));
#ifdef _WIN64
    EXPECT_TRUE(Is64BitWindowsUsing(os));
    EXPECT_TRUE(Is64BitWindowsUsing(failing));
#else
    EXPECT_FALSE(Is64BitWindowsUsing(os));
    EXPECT_TRUE(Is64BitWindowsUsing(wow64));
#endif
}

// A model of the registry as a 32-bit program on 64-bit Windows sees it: an open without
// KEY_WOW64_64KEY is redirected to the 32-bit view. The two views are folders under HKCU of
// this test's own, so nothing in the prefix's HKLM changes.
struct RegistryViews {
    static constexpr const char* kRoot = "Software\\BrevaneTests\\RegistryViews";
    static LONG Open32BitProgram(const char* path, REGSAM access, HKEY* key) {
        std::string view = (access & KEY_WOW64_64KEY) ? "\\View64\\" : "\\View32\\";
        return ::RegOpenKeyExA(HKEY_CURRENT_USER, (kRoot + view + path).c_str(), 0,
                               access & ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY), key);
    }
    static void Write(const char* view, const char* value) {
        HKEY key = nullptr;
        std::string path = std::string(kRoot) + "\\" + view + "\\" + kWinPEKeyPath;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, &key, nullptr));
        if (value)
            ::RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                             static_cast<DWORD>(std::strlen(value) + 1));
        ::RegCloseKey(key);
    }
    RegistryViews() { ::RegDeleteTreeA(HKEY_CURRENT_USER, kRoot); }
    ~RegistryViews() { ::RegDeleteTreeA(HKEY_CURRENT_USER, kRoot); }
};

TEST_F(PlatformServicesTest, WindowsPETestLooksInThe64BitViewFromA32BitProgram) {
    RegistryViews views;
    EXPECT_FALSE(HasWinPEVersionUsing(&RegistryViews::Open32BitProgram));  // neither view has the key
    // Where a 32-bit program would be redirected to: not Windows PE.
    views.Write("View32", "10.0");
    EXPECT_FALSE(HasWinPEVersionUsing(&RegistryViews::Open32BitProgram));
    // The system's own key, in the 64-bit view: without its Version value still full Windows.
    views.Write("View64", nullptr);
    EXPECT_FALSE(HasWinPEVersionUsing(&RegistryViews::Open32BitProgram));
    views.Write("View64", "10.0");
    EXPECT_TRUE(HasWinPEVersionUsing(&RegistryViews::Open32BitProgram));
}

// Records what the restart services would have done instead of doing it.
struct RestartRecord {
    std::vector<DWORD> pauses;
    std::vector<UINT> exitFlags;
    std::vector<DWORD> exitReasons;
    std::vector<int> shutdownActions;
    BOOL exitAnswer = TRUE;
};
RestartRecord g_record;

PlatformOs RecordingOs() {
    g_record = RestartRecord();
    PlatformOs os = RealPlatformOs();
    os.sleep = [](DWORD ms) { g_record.pauses.push_back(ms); };
    os.exitWindowsEx = [](UINT flags, DWORD reason) {
        g_record.exitFlags.push_back(flags);
        g_record.exitReasons.push_back(reason);
        if (!g_record.exitAnswer) ::SetLastError(ERROR_ACCESS_DENIED);
        return g_record.exitAnswer;
    };
    os.callNtShutdownSystem = [](FARPROC fn, int action) {
        EXPECT_NE(nullptr, fn);
        g_record.shutdownActions.push_back(action);
    };
    return os;
}

TEST_F(PlatformServicesTest, RebootWindowsAsksExitWindowsExForAForcedReboot) {
    PlatformOs os = RecordingOs();
    std::string message = "untouched";
    EXPECT_TRUE(RebootWindowsUsing(os, message));
    EXPECT_EQ("untouched", message);
    EXPECT_EQ(std::vector<UINT>{EWX_REBOOT | EWX_FORCEIFHUNG}, g_record.exitFlags);
    // A planned hardware installation: SHTDN_REASON_FLAG_PLANNED | MAJOR_HARDWARE | MINOR_INSTALLATION.
    EXPECT_EQ(std::vector<DWORD>{0x80010002u}, g_record.exitReasons);
    EXPECT_EQ(std::vector<DWORD>{500}, g_record.pauses);
    EXPECT_EQ(std::vector<std::string>{"RebootWindows, Initiate ExitWindowsEx()..."}, log.Lines());
}

TEST_F(PlatformServicesTest, RebootWindowsReportsAFailingExitWindowsEx) {
    PlatformOs os = RecordingOs();
    g_record.exitAnswer = FALSE;
    std::string message;
    EXPECT_FALSE(RebootWindowsUsing(os, message));
    EXPECT_EQ("ExitWindowsEx() ERROR, LastError=5", message);
    EXPECT_EQ((std::vector<std::string>{"RebootWindows, Initiate ExitWindowsEx()...",
                                        "RebootWindows, ExitWindowsEx() ERROR, LastError=5"}),
              log.Lines());
}

TEST_F(PlatformServicesTest, RebootWinPECallsNtShutdownSystemWithReboot) {
    PlatformOs os = RecordingOs();
    std::string message = "untouched";
    EXPECT_TRUE(RebootWinPEUsing(os, message));
    EXPECT_EQ("untouched", message);
    EXPECT_EQ(std::vector<int>{1}, g_record.shutdownActions);
    EXPECT_EQ((std::vector<DWORD>{500, 500}), g_record.pauses);
    EXPECT_TRUE(g_record.exitFlags.empty());
    EXPECT_EQ((std::vector<std::string>{"RebootWinPE, Load NtShutdownSystem from NTDLL.DLL",
                                        "RebootWinPE, call NtShutdownSystem function"}),
              log.Lines());
}

TEST(BitLockerVolume, IsTheSystemsWindowsVolumeWhateverSystemDriveSays) {
    char windows[MAX_PATH] = {};
    ASSERT_GT(::GetSystemWindowsDirectoryA(windows, MAX_PATH), 2u);
    char saved[MAX_PATH] = {};
    DWORD had = ::GetEnvironmentVariableA("SystemDrive", saved, MAX_PATH);
    ASSERT_TRUE(::SetEnvironmentVariableA("SystemDrive", "Q:"));
    std::wstring drive = BitLockerVolumeDrive();
    ::SetEnvironmentVariableA("SystemDrive", had ? saved : nullptr);
    EXPECT_EQ((std::wstring{static_cast<wchar_t>(windows[0]), L':'}), drive);
}

}  // namespace
