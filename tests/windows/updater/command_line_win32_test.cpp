// What only Windows can answer about the command line and the log: the system's argument
// splitting, GetFullPathName, real folders and files, and exclusive opens.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/support/argv_rules.h"
#include "updater/app/cmd_line_platform_win32.h"
#include "updater/app/option_settings.h"
#include "updater/tools/log_file.h"

namespace {

TEST(SplitCommandLineWin32, AgreesWithThePortableRules) {
    const char* lines[] = {
        "/a b  c\t d",
        "/BiosRomFile \"C:\\My Files\\x.rom\" /NoPause",
        "/x a\"b c\"d",
        "/x C:\\dir\\ y",
        "/x \"C:\\dir\\\\\" y",
        "/x a\\\"b",
        "/x a\\\\\\\"b",
        "/x \"a\"\"b\"",
        "/x \"\"\"\"\"\" y",
        "/x \"\"",
        "/x \"unterminated value",
        "\"/a b\"c d",
        "a\\\"b c",
        " /NoPause",
        "/NoPause   ",
        "/LogFile \"\\\\server\\share\\upd.log\" /ZeraID 0A5B 0x0A5C",
    };
    for (const char* line : lines) {
        std::vector<std::string> system;
        ASSERT_TRUE(SplitCommandLineWin32(line, system)) << line;
        EXPECT_EQ(SplitArgumentsLikeWindows(line), system) << line;
    }
}

TEST(SplitCommandLineWin32, LongTailsAreSplitWhole) {
    std::string tail = "/BiosRomFile " + std::string(6000, 'a') + " /NoPause";
    std::vector<std::string> args;
    ASSERT_TRUE(SplitCommandLineWin32(tail, args));
    ASSERT_EQ(3u, args.size());
    EXPECT_EQ(6000u, args[1].size());
    EXPECT_EQ("/NoPause", args[2]);
}

TEST(FileSpecWin32, DriveUncAndRelativePaths) {
    CFileSpec parts;
    ASSERT_EQ(0, parts.Split("C:\\logs\\upd.log", &FullPathWin32));
    EXPECT_EQ("C:\\logs\\", parts.GetFolderPath());
    EXPECT_EQ("upd.log", parts.GetFileName());

    ASSERT_EQ(0, parts.Split("\\\\server\\share\\upd.log", &FullPathWin32));
    EXPECT_EQ("\\\\server", parts.m_strRoot);
    EXPECT_EQ("share\\", parts.m_strFolder);

    // Relative paths are made absolute against the current directory.
    char cwd[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, cwd), 0u);
    ASSERT_EQ(0, parts.Split("sub\\rel.txt", &FullPathWin32));
    std::string expected = cwd;
    if (expected.back() != '\\') expected += '\\';
    EXPECT_EQ(expected + "sub\\", parts.GetFolderPath());
    EXPECT_EQ("rel.txt", parts.GetFileName());

    // Forward slashes are the system's business: the full path comes back with backslashes.
    ASSERT_EQ(0, parts.Split("C:/logs/upd.log", &FullPathWin32));
    EXPECT_EQ("C:\\logs\\", parts.GetFolderPath());

    // The A function refuses paths past the classic limit itself (-1 with the system error);
    // a system that resolves them reports the size it needs (-2). Either way nothing is split.
    std::string tooLong = "C:\\" + std::string(3000, 'a');
    int result = parts.Split(tooLong.c_str(), &FullPathWin32);
    if (result == -1)
        EXPECT_EQ(0u, parts.m_strError.find("GetFullPathName ERR ")) << parts.m_strError;
    else
        EXPECT_EQ("Buffer size too small, required=3004", parts.m_strError);
    EXPECT_TRUE(result == -1 || result == -2);
}

class LogFileWin32Test : public testing::Test {
protected:
    TempDir dir;
    CLogFile log{'S', dir.Path(), "Brevane"};
};

TEST_F(LogFileWin32Test, LogFileOptionCreatesTheFolderChainAndWritesTheStartLineFirst) {
    std::string target = dir.Join("a\\b\\c\\upd.log");
    std::string tail = "/LogFile " + target + " /BiosVer A05";
    MoveLogFile(target, tail.c_str(), log, &FullPathWin32, "1.2.3.4");
    EXPECT_EQ(1, log.enabled);
    EXPECT_EQ(target, log.path);
    ASSERT_TRUE(log.WriteLine("Next", "line"));
    std::string bytes = ReadFileBytes(target);
    // "YYYY/MM/DD, HH:MM:SS" is 20 characters; the rest is exact.
    ASSERT_GT(bytes.size(), 20u);
    EXPECT_EQ(", $Brevane_Start, Brevane v1.2.3.4, Command Line=[" + tail + "]\r\n", bytes.substr(20, bytes.find('\n') - 19));
    EXPECT_NE(std::string::npos, bytes.find(", $Next, line\r\n"));
    EXPECT_EQ('/', bytes[4]);
    EXPECT_EQ(',', bytes[10]);
}

TEST_F(LogFileWin32Test, NameWithoutExtensionGetsDotLog) {
    MoveLogFile(dir.Join("logs\\update"), "/LogFile x", log, &FullPathWin32, "1");
    EXPECT_EQ(dir.Join("logs\\update.log"), log.path);
    EXPECT_TRUE(FileExistsAt(dir.Native("logs\\update.log")));
}

TEST_F(LogFileWin32Test, UnwritableLogFileTurnsLoggingOff) {
    // A file stands where the folder chain would have to be created.
    std::string blocker = dir.Join("blocker");
    {
      HANDLE h = CreateFileA(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
      ASSERT_NE(INVALID_HANDLE_VALUE, h);
      CloseHandle(h); }
    std::string target = blocker + "\\sub\\upd.log";
    MoveLogFile(target, "/LogFile x", log, &FullPathWin32, "1");
    EXPECT_EQ(0, log.enabled);
    EXPECT_TRUE(log.WriteLine("Later", "not written"));
    EXPECT_FALSE(FileExistsAt(target));
}

TEST_F(LogFileWin32Test, FolderOrUnsplittableValueKeepsTheCurrentLog) {
    std::string before = log.path;
    MoveLogFile(dir.Join("folder\\"), "/LogFile folder\\", log, &FullPathWin32, "1");
    EXPECT_EQ(before, log.path);
    EXPECT_EQ(1, log.enabled);
    std::string bytes = ReadFileBytes(before);
    EXPECT_NE(std::string::npos, bytes.find(", $Brevane_Start, Brevane v1, Command Line=[/LogFile folder\\]\r\n"));
    EXPECT_NE(std::string::npos, bytes.find(", $Error, The /LogFile (" + dir.Join("folder\\") + ") is not usable: it names a folder\r\n"));
}

TEST_F(LogFileWin32Test, FileHeldWithoutSharingIsNotWritten) {
    ASSERT_TRUE(log.WriteLine("First", "ok"));
    HANDLE held = CreateFileA(log.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(log.WriteLine("Second", "lost"));
    CloseHandle(held);
    EXPECT_TRUE(log.WriteLine("Third", "ok"));
    std::string bytes = ReadFileBytes(log.path);
    EXPECT_EQ(std::string::npos, bytes.find("lost"));
    EXPECT_NE(std::string::npos, bytes.find("$Third, ok\r\n"));
}

}  // namespace
