// A package signed by a code-signing tool: alignment and a certificate follow the trailer, and
// the reader must read it exactly like the unsigned one. Needs openssl and osslsigncode (native
// only); the certificate is made by the test and thrown away with its scratch folder.
#include "extractor/package/sfx_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "extractor/package/sfx_format.h"
#include "tests/support/sfx_test_support.h"

namespace fs = std::filesystem;
using namespace sfxtest;

namespace {

int Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

TEST(SfxSignedPackage, ReadsLikeTheUnsignedOne) {
    if (Shell("command -v osslsigncode") != 0 || Shell("command -v openssl") != 0)
        GTEST_SKIP() << "osslsigncode or openssl missing";
    CScratchDir dir;
    SfxPackagePlan plan;
    plan.flags = 0x301;
    plan.commands[0] = "Brevane.exe %SfxCmdLine%";
    plan.entries.push_back(MakeEntry("Brevane.exe", SampleBytes(30000, 5), 2));
    plan.entries.push_back(MakeEntry("settings.ini", "[Secure]\r\n", 0xFF));
    std::vector<CSrcFileInfo> stored;
    std::string unsignedPath = BuildPackage(dir, "pkg.exe", MinimalPeImage(), plan, &stored);
    ASSERT_FALSE(unsignedPath.empty());

    std::string key = dir.File("key.pem"), cert = dir.File("cert.pem"), signedPath = dir.File("signed.exe");
    ASSERT_EQ(0, Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=ThrowAwayTest -keyout '" + key +
                     "' -out '" + cert + "'"));
    ASSERT_EQ(0, Shell("osslsigncode sign -certs '" + cert + "' -key '" + key + "' -in '" + unsignedPath + "' -out '" +
                     signedPath + "'"));

    std::string unsignedBytes = ReadFile(unsignedPath), signedBytes = ReadFile(signedPath);
    // The trailer no longer ends the file: padding and the certificate follow it.
    ASSERT_GT(signedBytes.size(), unsignedBytes.size() + 100);
    size_t trailerEnd = signedBytes.rfind(sfx::kSignature) + sfx::kSignatureLength;
    EXPECT_EQ(unsignedBytes.size(), trailerEnd);

    CSfxFile plain, signedReader;
    ASSERT_TRUE(plain.Open(unsignedPath.c_str()) && plain.LoadToc()) << plain.m_szLastError;
    ASSERT_TRUE(signedReader.Open(signedPath.c_str()) && signedReader.LoadToc()) << signedReader.m_szLastError;
    EXPECT_EQ(plain.m_ullOffsetToTOC, signedReader.m_ullOffsetToTOC);
    EXPECT_STREQ(plain.m_szWin32Command, signedReader.m_szWin32Command);
    ASSERT_EQ(plain.Entries().size(), signedReader.Entries().size());

    fs::create_directory(dir.Path() / "out");
    dir.EnterAsCurrent();
    fs::current_path(dir.Path() / "out");
    EXPECT_EQ(2, signedReader.ExtractAll(6)) << signedReader.m_szLastError;
    EXPECT_TRUE(plan.entries[0].data == ReadFile("Brevane.exe"));
    EXPECT_EQ(plan.entries[1].data, ReadFile("settings.ini"));
}

}  // namespace
