#include "tests/support/dmi_body.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/smbios_builder.h"

namespace {

using testsupport::Bytes;
using testsupport::SmbiosStructure;

struct Walk {
    int result;
    uint8_t type = 0, length = 0;
    uint16_t handle = 0, end = 0;
};

Walk Next(const CDmiBody& body, uint16_t start) {
    Walk w{0};
    w.result = body.NextStructure(start, &w.type, &w.length, &w.handle, &w.end);
    return w;
}

CDmiBody Over(const Bytes& table) {
    CDmiBody body;
    body.SetTableLength(static_cast<uint32_t>(table.size()));
    body.SetTable(table.data());
    return body;
}

TEST(CDmiBody, WithoutTableEveryOperationAnswersMinusOne) {
    CDmiBody body;
    body.SetTableLength(100);
    uint8_t b = 0;
    uint16_t w = 0;
    char buf[4];
    EXPECT_EQ(-1, Next(body, 0).result);
    EXPECT_EQ(-1, body.ReadByte(0, 0, &b));
    EXPECT_EQ(-1, body.GetField(0, 0, buf, 2));
    EXPECT_EQ(-1, body.ReadWord(0, 0, &w));
    EXPECT_EQ(nullptr, body.GetString(0, 4));
}

TEST(CDmiBody, StepsThroughStructuresWithAndWithoutStrings) {
    Bytes first = SmbiosStructure(0xD0, 0x1234, {1, 2, 3, 4, 5, 6}, {});  // no strings: two NULs
    Bytes second = SmbiosStructure(1, 0x0002, {1, 2}, {"Zera Inc.", "Z1"});
    Bytes table = first;
    table.insert(table.end(), second.begin(), second.end());
    CDmiBody body = Over(table);

    Walk a = Next(body, 0);
    ASSERT_EQ(0, a.result);
    EXPECT_EQ(0xD0, a.type);
    EXPECT_EQ(10, a.length);
    EXPECT_EQ(0x1234, a.handle);
    EXPECT_EQ(first.size() - 1, a.end);  // the second NUL

    Walk b = Next(body, static_cast<uint16_t>(a.end + 1));
    ASSERT_EQ(0, b.result);
    EXPECT_EQ(1, b.type);
    EXPECT_EQ(table.size() - 1, b.end);

    Walk c = Next(body, static_cast<uint16_t>(b.end + 1));
    EXPECT_EQ(-2, c.result);
    EXPECT_EQ(table.size(), c.end);
}

TEST(CDmiBody, DamagedChainsStopWithMinusTwo) {
    // Formatted length below the header size.
    for (uint8_t bad : {0, 1, 3}) {
        Bytes table = SmbiosStructure(1, 1, {1, 2}, {"a"}, bad);
        EXPECT_EQ(-2, Next(Over(table), 0).result) << "length " << int(bad);
    }
    // Formatted length running past the end.
    Bytes past = SmbiosStructure(1, 1, {1, 2}, {}, 200);
    EXPECT_EQ(-2, Next(Over(past), 0).result);
    // String set without its final double NUL.
    Bytes open = {1, 4, 0, 0, 'a', 'b', 0};
    Walk w = Next(Over(open), 0);
    EXPECT_EQ(-2, w.result);
    EXPECT_EQ(open.size(), w.end);
    // Table ending inside the header.
    Bytes header = {1, 4, 0};
    EXPECT_EQ(-2, Next(Over(header), 0).result);
}

TEST(CDmiBody, StartNearTheSixteenBitLimitDoesNotWrap) {
    Bytes table(0xFFFF, 0);
    // A structure at 0xFFF0 claiming 0xF0 bytes would wrap a 16-bit position back to the start.
    table[0xFFF0] = 1;
    table[0xFFF1] = 0xF0;
    CDmiBody body = Over(table);
    EXPECT_EQ(-2, Next(body, 0xFFF0).result);
    EXPECT_EQ(-2, Next(body, 0xFFFF).result);
}

TEST(CDmiBody, FieldReadsAreBoundedByTheTableLength) {
    Bytes table = {10, 11, 12, 13, 14};
    CDmiBody body = Over(table);
    uint8_t b = 0;
    EXPECT_EQ(0, body.ReadByte(1, 3, &b));
    EXPECT_EQ(14, b);
    EXPECT_EQ(-2, body.ReadByte(2, 3, &b));
    uint16_t w = 0;
    EXPECT_EQ(0, body.ReadWord(0, 2, &w));
    EXPECT_EQ(0x0D0C, w);
    // "At or past the table length": a field ending on the very last byte is refused too.
    EXPECT_EQ(-2, body.ReadWord(0, 3, &w));
    unsigned char field[3] = {};
    EXPECT_EQ(0, body.GetField(0, 1, field, 3));
    EXPECT_EQ(0, std::memcmp(field, table.data() + 1, 3));
    EXPECT_EQ(-2, body.GetField(0xFFFF, 0xFF, field, 2));
}

TEST(CDmiBody, TableLengthKeepsOnlyTheLowSixteenBits) {
    CDmiBody body;
    body.SetTableLength(0x10005);
    EXPECT_EQ(5, body.TableLength());
    body.SetTableLength(0xFFFF);
    EXPECT_EQ(0xFFFF, body.TableLength());
}

TEST(CDmiBody, GetStringFindsOnlyStringsOfTheSet) {
    Bytes s = SmbiosStructure(1, 1, {1, 2, 3, 0, 9}, {"first", "second"});
    Bytes next = SmbiosStructure(2, 2, {1}, {"neighbour"});
    Bytes table = s;
    table.insert(table.end(), next.begin(), next.end());
    CDmiBody body = Over(table);
    ASSERT_NE(nullptr, body.GetString(0, 4));
    EXPECT_STREQ("first", body.GetString(0, 4));
    EXPECT_STREQ("second", body.GetString(0, 5));
    // Number 3 is one past the set: the empty end mark, not the neighbour's string.
    const char* third = body.GetString(0, 6);
    EXPECT_TRUE(third == nullptr || third[0] == '\0');
    EXPECT_EQ(nullptr, body.GetString(0, 7));  // number 0
    EXPECT_EQ(nullptr, body.GetString(0, 8));  // number 9, far past the set
}

TEST(CDmiBody, GetStringNeverReturnsAnUnterminatedString) {
    Bytes table = {1, 5, 0, 0, 1, 'a', 'b', 'c'};  // the set runs off the end
    CDmiBody body = Over(table);
    EXPECT_EQ(nullptr, body.GetString(0, 4));
    Bytes skipping = {1, 5, 0, 0, 2, 'a', 'b'};  // the first string never ends
    EXPECT_EQ(nullptr, Over(skipping).GetString(0, 4));
}

}  // namespace
