// The shared layout helpers and the listing texts.
#include "extractor/package/sfx_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "extractor/package/sfx_display.h"

namespace {

TEST(SfxByteReader, ReadsLittleEndianAndRefusesWhatDoesNotFit) {
    const unsigned char bytes[] = {0x21, 0x54, 0x4F, 0x43, 0x00, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    sfx::CByteReader reader(bytes, sizeof bytes);
    uint32_t word = 0;
    uint16_t half = 0;
    uint64_t wide = 0;
    ASSERT_TRUE(reader.U32(&word));
    EXPECT_EQ(sfx::kTocSignature, word);
    ASSERT_TRUE(reader.U16(&half));
    EXPECT_EQ(sfx::kHeaderVersion, half);
    ASSERT_TRUE(reader.U64(&wide));
    EXPECT_EQ(0x0807060504030201ULL, wide);
    // One byte left: nothing wider fits, nothing is consumed, the destination stays.
    word = 0xDEADBEEF;
    EXPECT_FALSE(reader.U32(&word));
    EXPECT_FALSE(reader.U16(&half));
    EXPECT_EQ(0xDEADBEEFu, word);
    EXPECT_EQ(1u, reader.Remaining());
}

TEST(SfxLayout, RecordAndTrailerHaveTheirFixedSizes) {
    CSrcFileInfo entry;
    std::snprintf(entry.m_szFileName, sizeof entry.m_szFileName, "HECI.inf");
    entry.m_ullFileSize = 0x1122334455667788ULL;
    entry.m_dwPlatform = 4;
    sfx::CByteWriter w;
    sfx::WriteEntryRecord(w, entry);
    ASSERT_EQ(9u + 48u, w.Data().size());
    EXPECT_EQ(std::string("HECI.inf\0\x88\x77", 11), w.Data().substr(0, 11));
    CSrcFileInfo back;
    sfx::CByteReader reader(w.Data().data() + 9, 48);
    sfx::ReadEntryFields(reader, &back);
    EXPECT_EQ(entry.m_ullFileSize, back.m_ullFileSize);
    EXPECT_EQ(4u, back.m_dwPlatform);
    EXPECT_EQ(0u, reader.Remaining());

    sfx::CByteWriter trailer;
    sfx::WriteTrailer(trailer, 0x3AC3A7);
    EXPECT_EQ(std::string("\xA7\xC3\x3A\0\0\0\0\0\x00\x01!Sfx_Korvale", 22), trailer.Data());
}

TEST(SfxLayout, PlainFileNames) {
    for (const char* name : {"Brevane.exe", "settings.ini", "a", "...a", "name with blanks.txt", "CONFIG.SYS",
                             "COM10", "heci.cat"})
        EXPECT_TRUE(sfx::IsPlainFileName(name)) << name;
    const std::string seventyNine(79, 'x'), eighty(80, 'x');
    EXPECT_TRUE(sfx::IsPlainFileName(seventyNine.c_str()));
    EXPECT_FALSE(sfx::IsPlainFileName(eighty.c_str()));
    for (const char* name : {"", ".", "..", "...", " ", ". .", "../a", "a/b", "a\\b", "\\a", "/a", "C:a", "C:\\a",
                             "a:b", "a*b", "a?b", "a|b", "a\"b", "a<b", "a>b", "a\tb", "CON", "con.txt", "NUL",
                             "Aux.ini", "prn", "COM1", "lpt9.log", "CONIN$"})
        EXPECT_FALSE(sfx::IsPlainFileName(name)) << name;
}

// A PE header from "PE\0\0" on: the COFF header with its optional-header size, the optional
// header's magic, directory count and the security entry (index 4).
std::vector<uint8_t> PeHeader(uint16_t magic, uint32_t count, uint32_t offset, uint32_t size) {
    size_t countAt = magic == 0x20B ? 108 : 92;
    std::vector<uint8_t> header(sfx::kPeHeaderBytes, 0);
    std::memcpy(header.data(), "PE\0\0", 4);
    uint16_t optionalSize = static_cast<uint16_t>(countAt + 4 + 16 * 8);
    std::memcpy(&header[4 + 16], &optionalSize, 2);
    std::memcpy(&header[24], &magic, 2);
    std::memcpy(&header[24 + countAt], &count, 4);
    std::memcpy(&header[24 + countAt + 4 + 32], &offset, 4);
    std::memcpy(&header[24 + countAt + 4 + 36], &size, 4);
    return header;
}

TEST(SfxPeHeader, CertificateTableOfPe32AndPe32PlusAndEveryReasonForNone) {
    struct Row {
        const char* what;
        std::vector<uint8_t> header;
        size_t keep;  // bytes handed over
        bool found;
        uint32_t offset;
    } rows[] = {
        {"PE32", PeHeader(0x10B, 16, 0x4000, 0x800), sfx::kPeHeaderBytes, true, 0x4000},
        {"PE32+", PeHeader(0x20B, 16, 0x9000, 0x10), sfx::kPeHeaderBytes, true, 0x9000},
        {"no directory 4", PeHeader(0x10B, 4, 0x4000, 0x800), sfx::kPeHeaderBytes, false, 0},
        {"empty entry", PeHeader(0x10B, 16, 0x4000, 0), sfx::kPeHeaderBytes, false, 0},
        {"zero offset", PeHeader(0x10B, 16, 0, 0x800), sfx::kPeHeaderBytes, false, 0},
        {"unknown magic", PeHeader(0x107, 16, 0x4000, 0x800), sfx::kPeHeaderBytes, false, 0},
        {"cut before the entry", PeHeader(0x20B, 16, 0x9000, 0x10), 24 + 108 + 4 + 36, false, 0},
        {"cut to nothing", PeHeader(0x10B, 16, 0x4000, 0x800), 3, false, 0},
    };
    for (const Row& row : rows) {
        uint32_t offset = 0, size = 0;
        EXPECT_EQ(row.found, sfx::PeCertificateTable(row.header.data(), row.keep, &offset, &size)) << row.what;
        EXPECT_EQ(row.offset, offset) << row.what;
    }
    std::vector<uint8_t> shortOptional = PeHeader(0x10B, 16, 0x4000, 0x800);
    shortOptional[4 + 16] = 96;  // the optional header ends before the directories
    uint32_t offset = 0, size = 0;
    EXPECT_FALSE(sfx::PeCertificateTable(shortOptional.data(), shortOptional.size(), &offset, &size));

    uint8_t dos[sfx::kDosHeaderBytes] = {'M', 'Z'};
    dos[0x3C] = 0x80;
    uint32_t peAt = 0;
    EXPECT_TRUE(sfx::PeDosHeaderOffset(dos, sizeof dos, &peAt));
    EXPECT_EQ(0x80u, peAt);
    EXPECT_FALSE(sfx::PeDosHeaderOffset(dos, sizeof dos - 1, &peAt));
    dos[1] = 'X';
    EXPECT_FALSE(sfx::PeDosHeaderOffset(dos, sizeof dos, &peAt));
}

TEST(SfxDisplay, FormatThousands) {
    const struct {
        uint64_t value;
        const char* text;
    } cases[] = {{0, "0"},         {7, "7"},           {999, "999"},           {1000, "1,000"},
                 {1622, "1,622"},  {100000, "100,000"}, {4194304, "4,194,304"}, {1000001, "1,000,001"},
                 {18446744073709551615ULL, "18,446,744,073,709,551,615"}};
    for (const auto& c : cases) EXPECT_EQ(c.text, FormatThousands(c.value)) << c.value;
}

TEST(SfxDisplay, FormatFileTimeInUtc) {
    const struct {
        uint64_t value;
        const char* text;
    } cases[] = {{0, "1601/01/01 00:00:00"},
                 {0x01CF17AFADD27400ULL, "2014/01/22 20:22:32"},
                 {0x01CF17AFADD27400ULL + 9999999, "2014/01/22 20:22:32"},  // fractions are dropped
                 {116444736000000000ULL, "1970/01/01 00:00:00"},
                 {0x01D62C2271A62D87ULL, "2020/05/17 08:09:10"},
                 {125911584000000000ULL, "2000/01/01 00:00:00"},
                 {125962560000000000ULL, "2000/02/29 00:00:00"},
                 {0x7FFFFFFFFFFFFFFFULL, "30828/09/14 02:48:05"},
                 {0x8000000000000000ULL, ""}};
    for (const auto& c : cases) EXPECT_EQ(c.text, FormatFileTime(FileTimeFromU64(c.value))) << std::hex << c.value;
}

TEST(SfxDisplay, FormatAttributesAndPlatformNames) {
    EXPECT_EQ("-----a", FormatAttributes(0x20));
    EXPECT_EQ("r----a", FormatAttributes(0x21));
    EXPECT_EQ("rhsvda", FormatAttributes(0x3F));
    EXPECT_EQ("------", FormatAttributes(0xFFFFFFC0));
    EXPECT_EQ("-h-v--", FormatAttributes(0x0A));
    const struct {
        uint32_t mask;
        const char* name;
    } names[] = {{0, ""},   {1, "DOS"},  {2, "Win32"},  {4, "WinPE"}, {7, "DOS,Win32,WinPE"},
                 {3, "??"}, {6, "??"},   {0xFF, "??"},  {8, "??"},    {0x80000002, "??"}};
    for (const auto& n : names) EXPECT_EQ(n.name, GetPlatformName(n.mask)) << n.mask;
}

}  // namespace
