#include "updater/tools/log_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/temp_dir.h"

namespace {

// 4 June 2013, 14:05:09 local time.
std::time_t FixedClock() {
    std::tm when{};
    when.tm_year = 2013 - 1900;
    when.tm_mon = 5;
    when.tm_mday = 4;
    when.tm_hour = 14;
    when.tm_min = 5;
    when.tm_sec = 9;
    when.tm_isdst = -1;
    return std::mktime(&when);
}

class LogFileTest : public testing::Test {
protected:
    TempDir dir;
};

TEST_F(LogFileTest, DefaultNameAndExactLineBytes) {
    CLogFile log('S', dir.Path(), "Brevane");
    log.SetClock(&FixedClock);
    log.BuildPath();
    EXPECT_EQ(dir.Path() + "\\Brevane.log", log.path);

    ASSERT_TRUE(log.WriteLine("IsAdministratorUser", "%s", "YES"));
    ASSERT_TRUE(log.WriteLine("Tag", "a\r\nb\nc %d%%", 7));
    EXPECT_EQ("2013/06/04, 14:05:09, $IsAdministratorUser, YES\r\n"
              "2013/06/04, 14:05:09, $Tag, a\r\r\nb\r\nc 7%\r\n",
              ReadFileBytes(dir.Native("Brevane.log")));
}

TEST_F(LogFileTest, SecondWriterAppendsAndKeepsEarlierLines) {
    {
        CLogFile first('S', dir.Path(), "run");
        first.SetClock(&FixedClock);
        ASSERT_TRUE(first.WriteLine("One", "first run"));
    }
    CLogFile second('S', dir.Path(), "run");
    second.SetClock(&FixedClock);
    ASSERT_TRUE(second.WriteLine("Two", "second run"));
    EXPECT_EQ("2013/06/04, 14:05:09, $One, first run\r\n2013/06/04, 14:05:09, $Two, second run\r\n",
              ReadFileBytes(dir.Native("run.log")));
}

TEST_F(LogFileTest, MessageLongerThanAnyFixedBufferIsKeptWhole) {
    CLogFile log('S', dir.Path(), "long");
    std::string big(100000, 'x');
    ASSERT_TRUE(log.WriteLine("Big", "%s", big.c_str()));
    std::string bytes = ReadFileBytes(dir.Native("long.log"));
    EXPECT_NE(std::string::npos, bytes.find(", $Big, " + big + "\r\n"));
}

TEST_F(LogFileTest, PeriodSuffixes) {
    struct Case {
        char period;
        const char* name;
        const char* file;
    } cases[] = {
        {'D', "Brevane", "Brevane20130604.log"}, {'W', "Brevane", "Brevane2013w22.log"},
        {'M', "Brevane", "Brevane2013m06.log"},  {'Y', "Brevane", "Brevane2013.log"},
        {'S', "Brevane", "Brevane.log"},         {'S', "update.txt", "update.txt"},
        {'x', "a.b.c", "a.b.c"},                 {'D', "update.txt", "update.txt20130604.log"},
    };
    for (const Case& c : cases) {
        CLogFile log(c.period, dir.Path(), c.name);
        log.SetClock(&FixedClock);
        log.BuildPath();
        EXPECT_EQ(dir.Path() + "\\" + c.file, log.path) << "period " << c.period;
    }
}

TEST_F(LogFileTest, FolderIsCompletedWithBackslashAndCreatedAsAChain) {
    CLogFile log('S', dir.Path(), "Brevane");
    EXPECT_TRUE(log.SetFolder(dir.Join("a\\b\\c")));
    EXPECT_EQ(dir.Join("a\\b\\c\\"), log.folder);
    log.BuildPath();  // SetFolder alone keeps the old path
    EXPECT_EQ(dir.Join("a\\b\\c\\Brevane.log"), log.path);
    ASSERT_TRUE(log.WriteLine("T", "x"));
    EXPECT_TRUE(FileExistsAt(dir.Native("a\\b\\c\\Brevane.log")));
}

TEST_F(LogFileTest, DisabledLogReportsSuccessAndWritesNothing) {
    CLogFile log('S', dir.Path(), "off");
    log.enabled = 0;
    EXPECT_TRUE(log.WriteLine("T", "never"));
    EXPECT_FALSE(FileExistsAt(dir.Native("off.log")));
}

TEST_F(LogFileTest, PathsOf260CharactersOrMoreAreNeverOpened) {
    // Existing folders of ten characters and a short name, so that the file system would take
    // either path: only our limit tells 259 characters from 260.
    std::string relative;
    while (dir.Path().size() + relative.size() < 230) relative += "folder1234\\";
    CLogFile log('S', dir.Path(), "x");
    ASSERT_TRUE(log.SetFolder(dir.Join(relative)));
    const size_t base = log.folder.size() + std::strlen(".log");
    log.SetName(std::string(259 - base, 'n'));
    log.BuildPath();
    ASSERT_EQ(259u, log.path.size());
    EXPECT_TRUE(log.WriteLine("T", "kept"));
    EXPECT_TRUE(FileExistsAt(dir.Native(relative + log.name + ".log")));

    log.SetName(std::string(260 - base, 'n'));
    log.BuildPath();
    ASSERT_EQ(260u, log.path.size());
    EXPECT_FALSE(log.WriteLine("T", "lost"));
    EXPECT_FALSE(FileExistsAt(dir.Native(relative + log.name + ".log")));
}

TEST_F(LogFileTest, UnopenableFileAnswersFalse) {
    CLogFile log('S', dir.Path(), "Brevane");
    log.SetFolder(dir.Join("missing"));
    log.folder = dir.Join("no\\such\\folder\\");  // as if creating the chain had failed
    log.BuildPath();
    EXPECT_FALSE(log.WriteLine("T", "lost"));
}

std::string* g_trace = nullptr;
void CollectTrace(const char* text) { *g_trace += text; }

TEST(LogDebugPrint, FormatsWithoutAddingAnything) {
    std::string trace;
    g_trace = &trace;
    CLogFile::SetDebugSink(&CollectTrace);
    CLogFile::DebugPrint("  * Return=%d, Msg=%s", 1, "No Error");
    CLogFile::DebugPrint("%s", "100%\r\n");
    CLogFile::SetDebugSink(nullptr);
    g_trace = nullptr;
    EXPECT_EQ("  * Return=1, Msg=No Error100%\r\n", trace);
}

TEST(LogTextMode, EveryLineFeedGetsACarriageReturn) {
    EXPECT_EQ("", ToTextModeBytes(""));
    EXPECT_EQ("\r\n\r\n", ToTextModeBytes("\n\n"));
    EXPECT_EQ("a\r\r\nb\r", ToTextModeBytes("a\r\nb\r"));
    EXPECT_EQ(std::string("\0\r\n", 3), ToTextModeBytes(std::string("\0\n", 2)));
}

}  // namespace
