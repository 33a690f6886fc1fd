#include "extractor/app/launch_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using namespace sfx;

TEST(PackageBaseName, NameUpToFirstDotAfterLastBackslash) {
    EXPECT_EQ("B", PackageBaseName("C:\\dl\\B.exe"));
    EXPECT_EQ("Zera", PackageBaseName("C:\\a.b\\Zera.v2.exe"));  // a dot in a folder does not count
    EXPECT_EQ("", PackageBaseName("C:\\dl\\NoDot"));
    EXPECT_EQ("", PackageBaseName("C:\\dl\\.hidden"));
    EXPECT_EQ("pkg", PackageBaseName("pkg.exe"));
    EXPECT_EQ("", PackageBaseName(""));
}

TEST(Destination, OptionResolvedFromPackageAndClassifiedByNumber) {
    EXPECT_EQ(1, ResolveDestinationOption(-1, 0x301));
    EXPECT_EQ(5, ResolveDestinationOption(-1, 0x005));
    EXPECT_EQ(255, ResolveDestinationOption(-1, 0xFFFFFFFF));
    EXPECT_EQ(2, ResolveDestinationOption(2, 0x301));  // the dialog's choice wins over the package

    EXPECT_EQ(DestinationKind::Browse, ClassifyDestination(0));
    // 1 is the temporary directory and 2 the current one, whatever the radio captions say.
    EXPECT_EQ(DestinationKind::TempDirectory, ClassifyDestination(1));
    EXPECT_EQ(DestinationKind::CurrentDirectory, ClassifyDestination(2));
    EXPECT_EQ(DestinationKind::CurrentDirectory, ClassifyDestination(5));
    EXPECT_EQ(DestinationKind::CurrentDirectory, ClassifyDestination(255));
}

TEST(Destination, PathsAndWorkingDirectory) {
    EXPECT_EQ("C:\\users\\me\\Temp\\B", TempDestination("C:\\users\\me\\Temp\\", "B"));
    EXPECT_EQ("C:\\x\\", WithTrailingBackslash("C:\\x"));
    EXPECT_EQ("C:\\x\\", WithTrailingBackslash("C:\\x\\"));
    EXPECT_EQ("\\", WithTrailingBackslash(""));

    EXPECT_EQ("C:", CommandWorkingDirectory("C:\\"));  // a drive root becomes the bare designator
    EXPECT_EQ("C:\\x", CommandWorkingDirectory("C:\\x\\\\\\"));
    EXPECT_EQ("C:\\x", CommandWorkingDirectory("C:\\x"));
    EXPECT_EQ("", CommandWorkingDirectory("\\\\"));
}

// A stand-in for ExpandEnvironmentStringsA: replaces "%V%" by `g_value`, records the buffer
// sizes it was offered, and answers like the system (length with NUL, even when it does not fit).
std::string g_value;
std::string g_sizes;
bool g_fail = false;

uint32_t FakeExpand(const char* text, char* out, uint32_t size) {
    g_sizes += std::to_string(size) + ";";
    if (g_fail) return 0;
    std::string result = text;
    size_t at = result.find("%V%");
    if (at != std::string::npos) result.replace(at, 3, g_value);
    if (result.size() + 1 <= size) std::memcpy(out, result.c_str(), result.size() + 1);
    return static_cast<uint32_t>(result.size() + 1);
}

struct ExpandCase {
    size_t valueLength;
    bool ok;
    const char* sizes;
};

class ExpandEnvironmentTest : public testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandEnvironmentTest, BufferLimits) {
    const ExpandCase& c = GetParam();
    g_value.assign(c.valueLength, 'x');
    g_sizes.clear();
    g_fail = false;
    std::string text = "a%V%";
    EXPECT_EQ(c.ok ? TRUE : FALSE, ExpandEnvironment(text, FakeExpand));
    EXPECT_EQ(c.ok ? "a" + g_value : "a%V%", text);
    EXPECT_EQ(c.sizes, g_sizes);
}

// "a" + value + NUL: 4094 characters still fit the first buffer (answer 4095); one more needs
// the second; 32766 characters are the most the second holds.
INSTANTIATE_TEST_SUITE_P(Vectors, ExpandEnvironmentTest,
                         testing::Values(ExpandCase{0, true, "4096;"}, ExpandCase{4093, true, "4096;"},
                                         ExpandCase{4094, true, "4096;32768;"},
                                         ExpandCase{32765, true, "4096;32768;"},
                                         ExpandCase{32766, false, "4096;32768;"},
                                         ExpandCase{40000, false, "4096;32768;"}));

TEST(ExpandEnvironment, FailureLeavesTextUnchanged) {
    g_fail = true;
    std::string text = "%V%";
    EXPECT_FALSE(ExpandEnvironment(text, FakeExpand));
    EXPECT_EQ("%V%", text);
    g_fail = false;
}

TEST(CopyCommandLine, RefusesWhatDoesNotFitInsteadOfCutting) {
    char buffer[kCommandBufferSize];
    std::memset(buffer, '#', sizeof buffer);
    std::string reason;

    std::string fits(1023, 'c');
    ASSERT_TRUE(CopyCommandLine(fits, buffer, reason));
    EXPECT_EQ(fits, std::string(buffer));

    std::memset(buffer, '#', sizeof buffer);
    EXPECT_FALSE(CopyCommandLine(std::string(1024, 'c'), buffer, reason));
    EXPECT_EQ("Command line too long: 1024 characters, at most 1023", reason);
    EXPECT_EQ('#', buffer[0]);  // nothing of it was copied
}

TEST(StartFailureText, ErrorTextAndElevation) {
    EXPECT_EQ("CreateProcess() ERR#2\nCommandLine: x.exe /a\nWorkingDir: C:\\d\n",
              StartFailureText(2, "x.exe /a", "C:\\d"));
    EXPECT_EQ("This program requires elevation (run as) administrator privilege", StartFailureText(740, "x", "y"));
}

TEST(MadeByAdministrators, OnlyAnObjectNoUserCouldHaveMadeCounts) {
    struct Row {
        const char* what;
        ObjectOwnership object;
        bool recorded;
        bool counts;
    } rows[] = {
        {"missing", {false, false, false, ""}, true, false},
        {"owned by Administrators", {true, false, true, "S-1-5-32-544"}, true, true},
        {"owned by SYSTEM", {true, false, true, "S-1-5-18"}, true, true},
        {"owned by a user (any user may create C:\\Temp\\...)", {true, false, true, "S-1-5-21-1-2-3-1001"}, true, false},
        {"owner unreadable", {true, false, false, ""}, true, false},
        {"a link an administrator owns", {true, true, true, "S-1-5-32-544"}, true, false},
        // Where no owner is recorded (Wine), the owner tells nothing: existing is all there is.
        {"owners not recorded", {true, false, true, "S-1-5-21-1-2-3-1001"}, false, true},
        {"owners not recorded, a link", {true, true, false, ""}, false, false},
        {"owners not recorded, missing", {false, false, false, ""}, false, false},
    };
    for (const Row& row : rows) EXPECT_EQ(row.counts, MadeByAdministrators(row.object, row.recorded)) << row.what;
}

}  // namespace
