#include "updater/tools/log_io.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "framework/unique_handle_win32.h"
#include "tests/support/temp_dir.h"

namespace {

fw::UniqueFile Hold(const std::string& path, DWORD access, DWORD share) {
    return fw::UniqueFile(
        ::CreateFileA(path.c_str(), access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string ReadFrom(HANDLE file) {
    char buffer[256];
    DWORD got = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) return "<read failed>";
    return std::string(buffer, got);
}

}  // namespace

// The log is opened for every line; what others may do with it meanwhile decides whether the
// line survives a technician watching the file.
TEST(LogIoSharingTest, ViewersMayHoldTheLogWhileLinesAreAppended) {
    TempDir dir;
    const std::string path = dir.Join("Brevane.log");
    ASSERT_TRUE(logio::AppendInOneWrite(path, "one\r\n"));

    // A viewer reading along, and an editor that has it open for reading and writing.
    fw::UniqueFile viewer = Hold(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    fw::UniqueFile editor = Hold(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(viewer && editor);
    EXPECT_EQ("one\r\n", ReadFrom(viewer.get()));
    EXPECT_TRUE(logio::AppendInOneWrite(path, "two\r\n"));
    EXPECT_TRUE(logio::AppendInOneWrite(path, "three\r\n"));
    // The viewer sees each line at the end, after what it has read.
    EXPECT_EQ("two\r\nthree\r\n", ReadFrom(viewer.get()));
    EXPECT_EQ("one\r\ntwo\r\nthree\r\n", ReadFrom(editor.get()));
}

TEST(LogIoSharingTest, AHolderThatForbidsWritingKeepsTheLineOutUnlessItLetsGoInTime) {
    TempDir dir;
    const std::string path = dir.Join("Brevane.log");
    ASSERT_TRUE(logio::AppendInOneWrite(path, "one\r\n"));
    {
        fw::UniqueFile reader = Hold(path, GENERIC_READ, FILE_SHARE_READ);
        ASSERT_TRUE(reader);
        EXPECT_FALSE(logio::AppendInOneWrite(path, "lost\r\n"));
    }
    EXPECT_EQ("one\r\n", ReadFileBytes(dir.Native("Brevane.log")));

    // A holder that lets go within a moment (a backup or indexing agent) delays the line only.
    fw::UniqueFile agent = Hold(path, GENERIC_READ, 0);
    ASSERT_TRUE(agent);
    std::thread release([&agent] {
        ::Sleep(20);
        agent.reset();
    });
    const BOOL written = logio::AppendInOneWrite(path, "two\r\n");
    release.join();
    EXPECT_TRUE(written);
    EXPECT_EQ("one\r\ntwo\r\n", ReadFileBytes(dir.Native("Brevane.log")));
}
