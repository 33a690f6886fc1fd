// The attacks on an elevated run, replayed against a model of the Windows file-system rules
// (tests/support/windows_fs_model.h) at the moment each would happen. Each attack script also
// runs where its protection does not apply (an unelevated run, an image with no recorded
// package): there it succeeds, so the model can tell, and a protection switched off fails here.
#include "extractor/app/extractor_launcher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <utility>

#include "tests/support/windows_fs_model.h"

namespace {

using namespace sfx;
using namespace winmodel;

const char* const kEntries[] = {"Brevane.exe", "AFUWIN.exe", "image.rom"};

// The launcher's platform on the model: the elevated administrator (or the user) opens, creates
// and starts through the model's rules. Packages are files whose data names them.
class ModelPlatform : public CLauncherPlatform {
public:
    explicit ModelPlatform(CModel& model) : fs(model) {}
    CModel& fs;
    bool elevated = true;
    uint32_t flags = 0x101;
    std::string recorded;  // the package the image records; "" for none
    std::function<void()> beforeOpen, beforeStart;
    std::string ran;  // what the started program's file held
    std::map<std::string, std::string> env;
    int package = 0, copy = 0;
    std::string cwd = "C:\\work";
    int suffixes = 0;
    std::string lastError;

    Principal Me() const { return elevated ? ElevatedAdmin() : TheUser(); }
    int Reading() const { return copy ? copy : package; }
    std::string PackageData(int handle) {
        std::string data;
        unsigned long error = 0;
        return fs.Read(handle, &data, &error) ? data : std::string();
    }

    BOOL OpenPackage(const std::string& path) override {
        if (beforeOpen) std::exchange(beforeOpen, nullptr)();
        if (package) return TRUE;  // held across Close, as the reader keeps it
        unsigned long error = 0;
        package = fs.Open(Me(), path, kRead, kShareRead, &error);
        return package != 0;
    }
    BOOL LoadToc() override { return !PackageData(Reading()).empty(); }
    void ClosePackage() override {
        fs.Close(copy);
        copy = 0;
    }
    void FreeEntries() override {}
    int ExtractAll(uint32_t) override {
        const std::string from = PackageData(Reading());
        int count = 0;
        for (const char* name : kEntries) {
            unsigned long error = 0;
            int file = fs.CreateOrTruncate(Me(), cwd + "\\" + name, kWrite, 0, &error);
            if (!file) return count;
            (void)fs.Write(file, std::string(name) + " of " + from, &error);
            fs.Close(file);
            ++count;
        }
        return count;
    }
    int CountEntries(uint32_t) override { return 3; }
    uint32_t SfxFlags() override { return flags; }
    std::string Win32Command() override { return "Brevane.exe /NoPause"; }
    std::string LastError() override { return lastError; }
    SfxBinding PackageBinding() override {
        SfxBinding binding;
        binding.length = recorded.empty() ? 0 : 1;
        return binding;
    }
    BOOL CheckPackage(const SfxBinding&) override {
        if (PackageData(package) == recorded) return TRUE;
        lastError = "Package hash mismatched";
        return FALSE;
    }
    BOOL ReadPackageCopy(const SfxBinding&, const std::string& folder) override {
        unsigned long error = 0;
        copy = fs.Create(Me(), folder + "\\copy.tmp", false, nullptr, kRead | kWrite, 0, &error);
        if (!copy || !fs.Write(copy, PackageData(package), &error) || PackageData(copy) != recorded) {
            lastError = "Package hash mismatched";
            return FALSE;
        }
        return TRUE;
    }
    void ShowMessage(const std::string&, const char*, MsgKind) override {}
    bool AskYesNo(const std::string&, const char*) override { return false; }
    bool RunDialog() override { return true; }
    int BrowseForFolder(const char*, std::string&) override { return kBrowseCancelled; }
    void SetVariable(const char* name, const std::string& value) override { env[name] = value; }
    static uint32_t Expand(const char* text, char* out, uint32_t size) {
        size_t length = std::strlen(text) + 1;
        if (length <= size) std::memcpy(out, text, length);
        return static_cast<uint32_t>(length);
    }
    ExpandFn Expander() override { return &ModelPlatform::Expand; }
    BOOL GetTempDirectory(std::string& path) override {
        path = "C:\\Users\\me\\Temp\\";
        return TRUE;
    }
    BOOL GetWindowsDirectory(std::string& path) override {
        path = "C:\\Windows";
        return TRUE;
    }
    BOOL RandomSuffix(std::string& hex) override {
        hex = std::string(31, '0') + static_cast<char>('a' + suffixes++);
        return TRUE;
    }
    BOOL GetCurrentDir(std::string& path) override {
        path = cwd;
        return TRUE;
    }
    BOOL SetCurrentDir(const std::string& path) override {
        if (!fs.IsFolder(path)) return FALSE;
        cwd = path;
        return TRUE;
    }
    unsigned long LastSystemError() override { return kAccessDenied; }
    BOOL MakeSurePathExists(const std::string& path, unsigned long& error) override {
        std::string folder = path.substr(0, path.size() - 1);
        if (fs.IsFolder(folder)) return TRUE;
        int made = fs.Create(Me(), folder, true, nullptr, kRead, kShareAll, &error);
        fs.Close(made);
        return made != 0;
    }
    bool IsElevated() override { return elevated; }
    PathState InspectPath(const std::string& path) override {
        if (fs.IsJunction(path)) return PathState::ReparsePoint;
        if (!fs.Exists(path)) return PathState::Missing;
        return fs.IsFolder(path) ? PathState::Folder : PathState::Other;
    }
    bool OwnersRecorded() override { return true; }
    BOOL CreateHeldFolder(const std::string& path, const char* sddl, HeldFolder& held, unsigned long& error) override {
        EXPECT_STREQ(kTrustedFolderSddl, sddl);
        const Dacl dacl{{kSystem, kAll}, {kAdministrators, kAll}, {kUsers, kReadExecute}};
        int folder = fs.Create(Me(), path, true, &dacl, kRead | kReadControl, kShareRead | kShareWrite, &error);
        if (!folder) return FALSE;
        held.finalPath = fs.FinalPath(folder);
        held.ownerSid = fs.OwnerOf(folder);
        return TRUE;  // held open until the process ends
    }
    bool FileExists(const std::string& path) override { return fs.Exists(path) && !fs.IsFolder(path); }
    std::vector<std::string> SystemDirectories() override { return {"C:\\Windows\\System32"}; }
    BOOL StartAndWait(const std::string& program, char*, const std::string&, uint32_t& exitCode,
                      unsigned long& error) override {
        if (beforeStart) std::exchange(beforeStart, nullptr)();
        int file = fs.Open(Me(), program, kRead | kExecute, kShareRead | kShareDelete, &error);
        if (!file) return FALSE;
        ran = PackageData(file);
        fs.Close(file);
        exitCode = 0;
        return TRUE;
    }
};

// The user's attack on the folder the command is about to start from: whatever handles it
// kept from before the run, it widens the folder's access list, then swaps the program.
void SwapTheProgram(CModel& fs, const std::string& folder, const std::vector<int>& keptHandles) {
    unsigned long error = 0;
    const Dacl open{{kTheUser, kAll}, {kSystem, kAll}, {kAdministrators, kAll}};
    for (int handle : keptHandles) (void)fs.SetDacl(handle, open, &error);
    if (int handle = fs.Open(TheUser(), folder, kWriteDac, kShareAll, &error)) (void)fs.SetDacl(handle, open, &error);
    (void)fs.Rename(TheUser(), folder + "\\Brevane.exe", folder + "\\moved.exe", &error);
    if (int evil = fs.CreateOrTruncate(TheUser(), folder + "\\Brevane.exe", kWrite, 0, &error)) {
        (void)fs.Write(evil, "evil", &error);
        fs.Close(evil);
    }
}

TEST(WindowsRules, AFolderPreparedBeforeTheRunIsNeverWhereTheCommandStarts) {
    for (bool elevated : {true, false}) {
        CModel fs;
        fs.AddFile("C:\\dl\\B.exe", kTheUser, {{kTheUser, kAll}}, "pkg:good");
        unsigned long error = 0;
        // Before the run: the folder of the package's name in the user's temporary folder,
        // opened with WRITE_DAC and kept; and a link under the first private name the user
        // guessed, in the Windows directory's Temp, where users may add folders.
        std::vector<int> kept;
        kept.push_back(fs.Create(TheUser(), "C:\\Users\\me\\Temp\\B", true, nullptr, kRead | kWriteDac, kShareAll,
                                 &error));
        ASSERT_TRUE(fs.MakeJunction(TheUser(), "C:\\Windows\\Temp\\B." + std::string(31, '0') + "a",
                                    "C:\\Users\\me\\Temp\\B", &error));
        ModelPlatform platform(fs);
        platform.elevated = elevated;
        platform.beforeStart = [&] { SwapTheProgram(fs, platform.env["ExtractDest"], kept); };
        CExtractorLauncher launcher(platform);
        launcher.SetModulePath("C:\\dl\\B.exe");
        launcher.Run();

        if (elevated) {
            EXPECT_EQ("C:\\Windows\\Temp\\B." + std::string(31, '0') + "b", launcher.m_strExtractDest);
            EXPECT_EQ("Brevane.exe of pkg:good", platform.ran);
            EXPECT_FALSE(fs.Exists("C:\\Users\\me\\Temp\\B\\Brevane.exe"));
            // The private folder's program can be neither opened for writing nor renamed by the user.
            EXPECT_EQ(0, fs.Open(TheUser(), launcher.m_strExtractDest + "\\Brevane.exe", kWrite, kShareAll, &error));
            EXPECT_EQ(kAccessDenied, error);
        } else {
            // Unelevated the user's own folder is used, and the user's swap goes through: the
            // same script defeats a run without the protection.
            EXPECT_EQ("C:\\Users\\me\\Temp\\B", launcher.m_strExtractDest);
            EXPECT_EQ("evil", platform.ran);
        }
    }
}

TEST(WindowsRules, AFolderTheUserChoseIsNeverWhereTheCommandStarts) {
    for (bool elevated : {true, false}) {
        CModel fs;
        fs.AddFile("C:\\dl\\B.exe", kTheUser, {{kTheUser, kAll}}, "pkg:good");
        ModelPlatform platform(fs);
        platform.elevated = elevated;
        platform.flags = 0x102;  // the current directory, C:\work, the user's own
        // Between the extraction into C:\work and the start: the user swaps the program there.
        platform.beforeStart = [&] { SwapTheProgram(fs, "C:\\work", {}); };
        CExtractorLauncher launcher(platform);
        launcher.SetModulePath("C:\\dl\\B.exe");
        launcher.Run();
        EXPECT_EQ(elevated ? "Brevane.exe of pkg:good" : "evil", platform.ran) << elevated;
        EXPECT_TRUE(fs.Exists("C:\\work\\moved.exe")) << "the swap itself went through in the user's folder";
    }
}

TEST(WindowsRules, APackageRenamedAfterTheElevationPromptIsNotRead) {
    for (bool bound : {true, false}) {
        CModel fs;
        fs.AddFile("C:\\dl\\B.exe", kTheUser, {{kTheUser, kAll}}, "pkg:good");
        fs.MarkRunning("C:\\dl\\B.exe");
        ModelPlatform platform(fs);
        platform.recorded = bound ? "pkg:good" : "";
        unsigned long error = 0;
        // After the prompt checked the signature of C:\dl\B.exe and before Extractor opens it
        // by name: the running file cannot be written, but it can be renamed, and another put
        // in its place.
        platform.beforeOpen = [&] {
            EXPECT_EQ(0, fs.Open(TheUser(), "C:\\dl\\B.exe", kWrite, kShareAll, &error));
            ASSERT_TRUE(fs.Rename(TheUser(), "C:\\dl\\B.exe", "C:\\dl\\signed.exe", &error));
            int evil = fs.Create(TheUser(), "C:\\dl\\B.exe", false, nullptr, kWrite, kShareAll, &error);
            ASSERT_TRUE(fs.Write(evil, "pkg:evil", &error));
            fs.Close(evil);
        };
        CExtractorLauncher launcher(platform);
        launcher.SetModulePath("C:\\dl\\B.exe");
        launcher.Run();
        if (bound) {
            EXPECT_EQ(kExitPackageUnreadable, launcher.m_nExitCode);
            EXPECT_EQ("", platform.ran);
            EXPECT_FALSE(fs.Exists("C:\\Windows\\Temp\\B." + std::string(31, '0') + "a"));
        } else {
            // An image that records nothing reads whatever bears its name.
            EXPECT_EQ("Brevane.exe of pkg:evil", platform.ran);
        }
    }

    // The file changed under the open handle after the check: the user cannot open it for
    // writing while Extractor holds it, and a writer that opened it first makes the open fail.
    CModel fs;
    fs.AddFile("C:\\dl\\B.exe", kTheUser, {{kTheUser, kAll}}, "pkg:good");
    ModelPlatform platform(fs);
    platform.recorded = "pkg:good";
    unsigned long error = 0;
    int writer = 0;
    platform.beforeOpen = [&] { writer = fs.Open(TheUser(), "C:\\dl\\B.exe", kWrite, kShareAll, &error); };
    CExtractorLauncher launcher(platform);
    launcher.SetModulePath("C:\\dl\\B.exe");
    launcher.Run();
    EXPECT_NE(0, writer);
    EXPECT_EQ(kExitPackageUnreadable, launcher.m_nExitCode);
    EXPECT_EQ("", platform.ran);
    fs.Close(writer);
    ModelPlatform second(fs);
    second.recorded = "pkg:good";
    CExtractorLauncher again(second);
    again.SetModulePath("C:\\dl\\B.exe");
    again.Run();
    EXPECT_EQ("Brevane.exe of pkg:good", second.ran);
    EXPECT_EQ(0, fs.Open(TheUser(), "C:\\dl\\B.exe", kWrite, kShareAll, &error));
    EXPECT_EQ(kSharingViolation, error);
}

}  // namespace
