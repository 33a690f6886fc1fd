#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/captured_log.h"
#include "tests/support/smbios_builder.h"
#include "tests/support/dmi_body.h"
#include "updater/platform/platform_os_win32.h"
#include "updater/platform/smbios_sources.h"
#include "updater/platform/system_info.h"

namespace {

using testsupport::Bytes;

// The types of every structure in a table, in order.
std::vector<int> TypesIn(const unsigned char* table, uint32_t length) {
    CDmiBody body;
    body.SetTableLength(length);
    body.SetTable(table);
    std::vector<int> types;
    uint32_t position = 0;
    uint8_t type = 0, formatted = 0;
    uint16_t handle = 0, end = 0;
    while (position <= 0xFFFF &&
           body.NextStructure(static_cast<uint16_t>(position), &type, &formatted, &handle, &end) == 0) {
        types.push_back(type);
        position = end + 1u;
    }
    return types;
}

TEST(FirmwareTableSource, ReadsTheSystemsOwnTable) {
    std::vector<unsigned char> buffer;
    const unsigned char* table = nullptr;
    uint32_t length = 0;
    std::string message;
    ASSERT_EQ(1, LoadDmiBodyFromFirmwareTable(buffer, table, length, message)) << message;
    EXPECT_EQ("OK", message);
    ASSERT_NE(nullptr, table);
    EXPECT_GE(table, buffer.data());
    EXPECT_LE(table + length, buffer.data() + buffer.size());
    std::vector<int> types = TypesIn(table, length);
    EXPECT_NE(types.end(), std::find(types.begin(), types.end(), 0));
    EXPECT_NE(types.end(), std::find(types.begin(), types.end(), 1));
    EXPECT_EQ(types.end(), std::find(types.begin(), types.end(), 0xD0));

    // The whole step: Wine's table has no Zera structure, so the ID stays 0.
    CSystemInfo info;
    std::string error;
    EXPECT_EQ(1, GetSystemInfoUsing(RealPlatformOs(), info, error));
    EXPECT_EQ(0, info.SystemZeraID);
}

// A stand-in for GetSystemFirmwareTable that serves `g_served`, or fails with `g_error`.
Bytes g_served;
DWORD g_error = 0;
std::vector<DWORD> g_providers;
UINT WINAPI ServeTable(DWORD provider, DWORD, PVOID buffer, DWORD size) {
    g_providers.push_back(provider);
    if (g_error) {
        ::SetLastError(g_error);
        return 0;
    }
    if (size >= g_served.size()) std::memcpy(buffer, g_served.data(), g_served.size());
    return static_cast<UINT>(g_served.size());
}
GetSystemFirmwareTableFn FindServe(HMODULE) { return &ServeTable; }
GetSystemFirmwareTableFn FindNothing(HMODULE) { return nullptr; }

// A WMI stand-in: one object with `g_wmiTable`, or a failure at connect.
Bytes g_wmiTable;
int QueryOneObject(CWmiSmbiosCollector& collector, std::string& message) {
    if (g_wmiTable.empty()) {
        message = "Connect to WMI ERR, hr=0x8004100E";
        return 0;
    }
    collector.TakeObject(static_cast<uint32_t>(g_wmiTable.size()), g_wmiTable.data(), g_wmiTable.size());
    collector.NoMoreObjects();
    return collector.Result();
}

PlatformOs With(GetSystemFirmwareTableFn (*find)(HMODULE)) {
    PlatformOs os = RealPlatformOs();
    os.findGetSystemFirmwareTable = find;
    os.queryWmiSmbios = &QueryOneObject;
    return os;
}

TEST(FirmwareTableSource, AsksForRsmbAndDistrustsTheLengthField) {
    Bytes table = testsupport::ZeraMachineTable("A05", "Zera Inc.", "Zera Book", 0x0ABC);
    g_served = testsupport::SmbiosTableBuilder().AddRaw(table).FirmwareTable(0x7FFFFFFF);
    g_error = 0;
    g_providers.clear();
    std::vector<unsigned char> buffer;
    const unsigned char* start = nullptr;
    uint32_t length = 0;
    std::string message;
    ASSERT_EQ(1, LoadDmiBodyFromFirmwareTableUsing(With(&FindServe), buffer, start, length, message));
    EXPECT_EQ((std::vector<DWORD>{0x52534D42, 0x52534D42}), g_providers);  // size query, then the table
    EXPECT_EQ(table.size(), length);
    EXPECT_EQ(0, std::memcmp(start, table.data(), table.size()));
}

TEST(FirmwareTableSource, FailuresNameTheirCause) {
    std::vector<unsigned char> buffer;
    const unsigned char* start = nullptr;
    uint32_t length = 0;
    std::string message;
    EXPECT_EQ(0, LoadDmiBodyFromFirmwareTableUsing(With(&FindNothing), buffer, start, length, message));
    EXPECT_EQ("Vista API: GetSystemFirmwareTable() not support", message);
    g_error = ERROR_INVALID_FUNCTION;
    EXPECT_EQ(0, LoadDmiBodyFromFirmwareTableUsing(With(&FindServe), buffer, start, length, message));
    EXPECT_EQ("GetSystemFirmwareTable ERR=1", message);
    EXPECT_EQ(nullptr, start);
    EXPECT_EQ(0u, length);
    g_error = 0;
}

TEST(GetSystemInfoSources, FallsBackToWmiAndReportsTheLastFailure) {
    testsupport::CapturedLog log;
    g_wmiTable = testsupport::ZeraMachineTable("X07", "Zera Inc.", "Zera Tower", 0x1234);
    CSystemInfo info;
    std::string error;
    ASSERT_EQ(1, GetSystemInfoUsing(With(&FindNothing), info, error));
    EXPECT_EQ("X07", info.SystemBiosVersion);
    EXPECT_EQ("Zera Tower", info.SystemProductName);
    EXPECT_EQ(0x1234, info.SystemZeraID);
    std::vector<std::string> expected = {"LoadDmiBodyFromWmi, Starting...",
                                         "LoadDmiBodyFromWmi, Get one SMBIOS data, Size=" +
                                             std::to_string(g_wmiTable.size()),
                                         "LoadDmiBodyFromWmi, No query data"};
    EXPECT_EQ(expected, log.Lines());

    g_wmiTable.clear();
    CSystemInfo none;
    EXPECT_EQ(0, GetSystemInfoUsing(With(&FindNothing), none, error));
    EXPECT_EQ("Connect to WMI ERR, hr=0x8004100E", error);
    EXPECT_EQ("", none.SystemManufacturer);
}

// The only test that talks to the real WMI service: COM security can be set once per process.
TEST(WmiSource, WineDeliversNoTableAndSaysSo) {
    testsupport::CapturedLog log;
    std::vector<unsigned char> buffer;
    const unsigned char* table = nullptr;
    uint32_t length = 0;
    std::string message;
    EXPECT_EQ(0, LoadDmiBodyFromWmi(buffer, table, length, message));
    EXPECT_EQ("No data from WMI", message);
    EXPECT_EQ(nullptr, table);
    EXPECT_EQ(0u, length);
    // Wine's object has no Size and a null SMBiosData.
    std::vector<std::string> expected = {"LoadDmiBodyFromWmi, Starting...",
                                         "LoadDmiBodyFromWmi, Get one SMBIOS data, Size=0",
                                         "LoadDmiBodyFromWmi, No query data"};
    EXPECT_EQ(expected, log.Lines());
}

TEST(WmiSource, AnApartmentOfTheWrongKindFailsAtInitCom) {
    testsupport::CapturedLog log;
    // This thread is single-threaded already, so joining the multithreaded apartment fails.
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    std::vector<unsigned char> buffer;
    const unsigned char* table = nullptr;
    uint32_t length = 0;
    std::string message;
    EXPECT_EQ(0, LoadDmiBodyFromWmi(buffer, table, length, message));
    EXPECT_EQ("InitCOM ERR, hr=0x80010106", message);
    EXPECT_EQ(std::vector<std::string>{"LoadDmiBodyFromWmi, Starting..."}, log.Lines());
    ::CoUninitialize();
}

}  // namespace
