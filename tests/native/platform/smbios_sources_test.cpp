#include "updater/platform/smbios_sources.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/captured_log.h"
#include "tests/support/smbios_builder.h"

namespace {

using testsupport::Bytes;

TEST(TableFromFirmwareBuffer, LengthIsCutToTheBytesPresent) {
    Bytes table = testsupport::ZeraMachineTable("A05", "Zera Inc.", "P", 0x0ABC);
    Bytes raw = testsupport::SmbiosTableBuilder().AddRaw(table).FirmwareTable();
    const unsigned char* start = nullptr;
    uint32_t length = 0;
    TableFromFirmwareBuffer(raw, raw.size(), start, length);
    EXPECT_EQ(raw.data() + 8, start);
    EXPECT_EQ(table.size(), length);

    // A Length field larger than the buffer, or a service that filled less than it allocated.
    Bytes lying = testsupport::SmbiosTableBuilder().AddRaw(table).FirmwareTable(0xFFFFFFF0u);
    TableFromFirmwareBuffer(lying, lying.size(), start, length);
    EXPECT_EQ(table.size(), length);
    TableFromFirmwareBuffer(lying, 20, start, length);
    EXPECT_EQ(12u, length);
    TableFromFirmwareBuffer(lying, 1000000, start, length);  // more than the buffer holds
    EXPECT_EQ(table.size(), length);

    // Too short for the header: no table.
    Bytes stub = {0, 2, 7, 0, 9};
    TableFromFirmwareBuffer(stub, stub.size(), start, length);
    EXPECT_EQ(nullptr, start);
    EXPECT_EQ(0u, length);
}

TEST(CWmiSmbiosCollector, TakesTheLastObjectAndNeverReadsPastItsArray) {
    testsupport::CapturedLog log;
    std::vector<unsigned char> buffer;
    const unsigned char* table = nullptr;
    uint32_t length = 0;
    std::string message;
    CWmiSmbiosCollector collector(buffer, table, length, message);

    const Bytes first = {1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(collector.TakeObject(4, first.data(), first.size()));
    EXPECT_EQ(1, collector.Result());
    EXPECT_EQ("OK", message);
    EXPECT_EQ(4u, length);
    EXPECT_EQ(0, std::memcmp(table, first.data(), 4));

    // Size larger than the array: only the array's bytes are taken.
    const Bytes second = {9, 8, 7};
    EXPECT_TRUE(collector.TakeObject(1000, second.data(), second.size()));
    EXPECT_EQ(3u, length);
    EXPECT_EQ(Bytes(table, table + length), second);

    // An object without a byte array leaves the table taken before.
    EXPECT_TRUE(collector.TakeObject(0, nullptr, 0));
    EXPECT_EQ(3u, length);
    EXPECT_EQ(1, collector.Result());

    collector.NoMoreObjects();
    EXPECT_EQ("No data from WMI", message);  // what a successful run leaves behind
    std::vector<std::string> expected = {"LoadDmiBodyFromWmi, Get one SMBIOS data, Size=4",
                                         "LoadDmiBodyFromWmi, Get one SMBIOS data, Size=1000",
                                         "LoadDmiBodyFromWmi, Get one SMBIOS data, Size=0",
                                         "LoadDmiBodyFromWmi, No query data"};
    EXPECT_EQ(expected, log.Lines());
}

TEST(CWmiSmbiosCollector, ObjectsWithoutDataGiveNoTable) {
    testsupport::CapturedLog log;
    std::vector<unsigned char> buffer;
    const unsigned char* table = nullptr;
    uint32_t length = 0;
    std::string message;
    CWmiSmbiosCollector collector(buffer, table, length, message);
    EXPECT_TRUE(collector.TakeObject(0, nullptr, 0));
    collector.NoMoreObjects();
    EXPECT_EQ(0, collector.Result());
    EXPECT_EQ(nullptr, table);
    EXPECT_EQ("No data from WMI", message);
}

}  // namespace
