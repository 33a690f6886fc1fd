#include <gtest/gtest.h>

#include <string>

#include "tests/support/smbios_builder.h"
#include "updater/platform/system_info.h"

namespace {

using testsupport::Bytes;
using testsupport::SmbiosTableBuilder;

CSystemInfo Identity(const Bytes& table, uint32_t length) {
    CSystemInfo info;
    ReadSystemIdentity(table.data(), length, info);
    return info;
}
CSystemInfo Identity(const Bytes& table) { return Identity(table, static_cast<uint32_t>(table.size())); }

TEST(ReadSystemIdentity, ReadsAZeraMachine) {
    CSystemInfo info = Identity(testsupport::ZeraMachineTable("A05", "Zera Inc.", "Zera Book 14", 0x0ABC));
    EXPECT_EQ("A05", info.SystemBiosVersion);
    EXPECT_EQ("Zera Inc.", info.SystemManufacturer);
    EXPECT_EQ("Zera Book 14", info.SystemProductName);
    EXPECT_EQ(0x0ABC, info.SystemZeraID);
}

TEST(ReadSystemIdentity, TakesTheFirstStructureOfEachTypeOnly) {
    Bytes table = SmbiosTableBuilder()
                      .SystemInformation("Zera Inc.", "First")
                      .BiosInformation("A07")
                      .ZeraOem(0x1111)
                      .SystemInformation("Other Corp.", "Second")
                      .BiosInformation("X99")
                      .ZeraOem(0x2222)
                      .EndOfTable()
                      .Table();
    CSystemInfo info = Identity(table);
    EXPECT_EQ("Zera Inc.", info.SystemManufacturer);
    EXPECT_EQ("First", info.SystemProductName);
    EXPECT_EQ("A07", info.SystemBiosVersion);
    EXPECT_EQ(0x1111, info.SystemZeraID);
}

TEST(ReadSystemIdentity, MissingStringsAndShortStructuresLeaveValuesEmpty) {
    // BIOS Version string number 0, product name number past the set.
    Bytes sys = testsupport::SmbiosStructure(1, 1, {1, 7, 0, 0}, {"Zera Inc."});
    Bytes table = SmbiosTableBuilder().BiosInformation("A05", 0).Add(sys).ZeraOem(0x0ABC, 9).Table();
    CSystemInfo info = Identity(table);
    EXPECT_EQ("", info.SystemBiosVersion);
    EXPECT_EQ("Zera Inc.", info.SystemManufacturer);
    EXPECT_EQ("", info.SystemProductName);
    // A 0xD0 structure shorter than 10 bytes has no ID, at the end of the table or anywhere.
    EXPECT_EQ(0, info.SystemZeraID);
    Bytes middle = SmbiosTableBuilder().ZeraOem(0x0ABC, 8).SystemInformation("Zera Inc.", "P").Table();
    EXPECT_EQ(0, Identity(middle).SystemZeraID);
    EXPECT_EQ("Zera Inc.", Identity(middle).SystemManufacturer);
}

TEST(ReadSystemIdentity, ADamagedChainKeepsWhatCameBefore) {
    Bytes table = SmbiosTableBuilder()
                      .BiosInformation("A05")
                      .AddRaw({1, 2, 0, 0, 0, 0})  // formatted length 2: the chain breaks here
                      .SystemInformation("Zera Inc.", "Hidden")
                      .Table();
    CSystemInfo info = Identity(table);
    EXPECT_EQ("A05", info.SystemBiosVersion);
    EXPECT_EQ("", info.SystemManufacturer);
    EXPECT_EQ(0, info.SystemZeraID);
}

TEST(ReadSystemIdentity, EmptyOrNullTableFindsNothing) {
    CSystemInfo info;
    ReadSystemIdentity(nullptr, 100, info);
    EXPECT_EQ("", info.SystemManufacturer);
    Bytes empty;
    EXPECT_EQ(0, Identity(empty, 0).SystemZeraID);
}

TEST(ReadSystemIdentity, LengthAboveSixteenBitsIsCutToItsLowBits) {
    // The identity sits at the start; a huge OEM structure pushes the table past 65,535 bytes.
    SmbiosTableBuilder builder;
    builder.SystemInformation("Zera Inc.", "Big");
    const size_t cut = builder.Table().size();
    builder.Add(0x80, {}, {std::string(70000, 'x')}).ZeraOem(0x0ABC).EndOfTable();
    Bytes table = builder.Table();
    ASSERT_GT(table.size(), 0x10000u);
    // Reported as 65,536 + cut: only the first `cut` bytes are walked.
    CSystemInfo info = Identity(table, static_cast<uint32_t>(0x10000 + cut));
    EXPECT_EQ("Zera Inc.", info.SystemManufacturer);
    EXPECT_EQ(0, info.SystemZeraID);
    // Reported as the true length: its low 16 bits end the walk inside the OEM structure.
    EXPECT_EQ(0, Identity(table).SystemZeraID);
}

// Tables that also checked, while the DOS program walked tables with code of its own, that both
// programs read the same identity.
TEST(ReadSystemIdentity, SharedTablesReadWhatTheyHold) {
    // The BIOS version's string number (7) lies past the set; the 0xD0 structure is too short.
    CSystemInfo late = Identity(SmbiosTableBuilder()
                                    .SystemInformation("Zera Inc.", "P")
                                    .BiosInformation("A01", 7)
                                    .ZeraOem(0x1234, 9)
                                    .EndOfTable()
                                    .Table());
    EXPECT_EQ("Zera Inc.", late.SystemManufacturer);
    EXPECT_EQ("P", late.SystemProductName);
    EXPECT_EQ("", late.SystemBiosVersion);
    EXPECT_EQ(0, late.SystemZeraID);
    // A lone 0xD0 structure: its string set's two NULs follow the word.
    EXPECT_EQ(0xBEEF, Identity(SmbiosTableBuilder().ZeraOem(0xBEEF).Table()).SystemZeraID);
    // A long string is kept whole.
    EXPECT_EQ(std::string(200, 'v'), Identity(SmbiosTableBuilder().BiosInformation(std::string(200, 'v')).Table())
                                         .SystemBiosVersion);
    // A chain broken at its first structure hides everything after it.
    EXPECT_EQ(0, Identity(SmbiosTableBuilder().AddRaw({0, 3, 0, 0, 0, 0}).ZeraOem(0x0ABC).Table()).SystemZeraID);
}

}  // namespace
