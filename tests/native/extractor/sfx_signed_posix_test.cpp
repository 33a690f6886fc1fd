// A package signed by a code-signing tool: alignment and a certificate follow the trailer, and
// the reader must read it exactly like the unsigned one. Needs openssl and osslsigncode (native
// only); the certificate is made by the test and thrown away with its scratch folder.
#include "extractor/package/sfx_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "devtools/sfxpack/sfxpack_sign.h"
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

    std::string report, error;
    EXPECT_TRUE(DescribeSignedArea(signedPath, report, error)) << error;
    EXPECT_NE(std::string::npos, report.find("package inside the signed area")) << report;
    report.clear();
    EXPECT_TRUE(DescribeSignedArea(unsignedPath, report, error)) << error;
    EXPECT_EQ("unsigned: no certificate table\n", report);
}

uint32_t U32At(const std::string& bytes, size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 | uint32_t(uint8_t(bytes[at + 2])) << 16 |
           uint32_t(uint8_t(bytes[at + 3])) << 24;
}
void PutU32At(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = char(value >> (8 * i));
}

// Someone with the signed file adds a table of contents and a trailer of their own inside the
// certificate table (growing the table's sizes to match): the signature's hash does not cover
// the table, so the file still shows as validly signed. The reader must not see them.
TEST(SfxSignedPackage, TrailerAddedInsideTheCertificateTableIsIgnored) {
    if (Shell("command -v osslsigncode") != 0 || Shell("command -v openssl") != 0)
        GTEST_SKIP() << "osslsigncode or openssl missing";
    CScratchDir dir;
    SfxPackagePlan plan;
    plan.flags = 0x301;
    plan.commands[0] = "Brevane.exe /genuine";
    plan.entries.push_back(MakeEntry("Brevane.exe", SampleBytes(3000, 9), 2));
    std::string genuinePath = BuildPackage(dir, "pkg.exe", MinimalPeImage(), plan);
    plan.commands[0] = "Brevane.exe /forged";
    std::string forgedPath = BuildPackage(dir, "forged.exe", MinimalPeImage(), plan);
    ASSERT_FALSE(genuinePath.empty());
    ASSERT_FALSE(forgedPath.empty());

    std::string key = dir.File("key.pem"), cert = dir.File("cert.pem"), pfx = dir.File("key.pfx");
    std::string pass = dir.File("pass.txt"), signedPath = dir.File("signed.exe");
    WriteFile(pass, "secret\n");
    ASSERT_EQ(0, Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=ThrowAwayTest -keyout '" + key +
                     "' -out '" + cert + "'"));
    ASSERT_EQ(0, Shell("openssl pkcs12 -export -inkey '" + key + "' -in '" + cert + "' -out '" + pfx +
                     "' -passout file:'" + pass + "'"));
    // The writer's own signing step, as a release build does it.
    std::string out, error;
    WriteFile(signedPath, ReadFile(genuinePath));
    ASSERT_TRUE(SignPackageFile(signedPath, pfx, pass, out, error)) << error;

    std::string bytes = ReadFile(signedPath);
    uint32_t peAt = U32At(bytes, 0x3C);
    size_t entryAt = peAt + 24 + 128;  // PE32: the security entry of the data directories
    uint32_t tableAt = U32At(bytes, entryAt);
    ASSERT_GT(tableAt, 0u);
    ASSERT_EQ(bytes.size(), size_t(tableAt) + U32At(bytes, entryAt + 4));

    // The forged table of contents (same entries, another command) and a trailer for it.
    std::string forged = ReadFile(forgedPath);
    CSfxFile forgedReader;
    ASSERT_TRUE(forgedReader.Open(forgedPath.c_str())) << forgedReader.m_szLastError;
    std::string toc = forged.substr(forgedReader.m_ullOffsetToTOC, forged.size() - sfx::kTrailerSize -
                                                                        forgedReader.m_ullOffsetToTOC);
    sfx::CByteWriter trailer;
    sfx::WriteTrailer(trailer, bytes.size());
    std::string added = toc + trailer.Data();
    added.resize((added.size() + 7) / 8 * 8, '\0');
    bytes += added;
    PutU32At(bytes, entryAt + 4, U32At(bytes, entryAt + 4) + uint32_t(added.size()));
    PutU32At(bytes, tableAt, U32At(bytes, tableAt) + uint32_t(added.size()));  // the certificate's own length
    std::string tampered = dir.File("tampered.exe");
    WriteFile(tampered, bytes);

    CSfxFile reader;
    ASSERT_TRUE(reader.Open(tampered.c_str()) && reader.LoadToc()) << reader.m_szLastError;
    EXPECT_STREQ("Brevane.exe /genuine", reader.m_szWin32Command);
    // Without the bound the added trailer would have been the last one: it is really there.
    EXPECT_EQ(bytes.size() - added.size() + toc.size(), bytes.rfind(sfx::kSignature) + sfx::kSignatureLength - sfx::kTrailerSize);

    out.clear();
    EXPECT_FALSE(DescribeSignedArea(tampered, out, error));
    EXPECT_NE(std::string::npos, error.find("certificate table holds a package signature")) << error;
}

}  // namespace
