// The two SMBIOS sources: the firmware table service (looked up at run time, so the program
// still starts where it does not exist) and WMI.
#include <windows.h>

#include <algorithm>
#include <new>

#include "common/format.h"
#include "framework/unique_handle_win32.h"
#include "updater/platform/platform_os_win32.h"
#include "updater/platform/smbios_sources.h"
#include "updater/platform/system_info.h"
#include "updater/tools/log_file.h"

namespace {

void ClearOutputs(std::vector<unsigned char>& buffer, const unsigned char*& table, uint32_t& length) {
    std::vector<unsigned char>().swap(buffer);
    table = nullptr;
    length = 0;
}

}  // namespace

int LoadDmiBodyFromFirmwareTableUsing(const PlatformOs& os, std::vector<unsigned char>& buffer,
                                      const unsigned char*& table, uint32_t& length, std::string& message) {
    ClearOutputs(buffer, table, length);
    fw::UniqueModule kernel32(::LoadLibraryA("kernel32.dll"));
    if (!kernel32) {
        message = common::Format("LoadLibrary(kernel32.dll) ERR=%lu", ::GetLastError());
        return 0;
    }
    GetSystemFirmwareTableFn getTable = os.findGetSystemFirmwareTable(kernel32.get());
    if (!getTable) {
        message = "Vista API: GetSystemFirmwareTable() not support";
        return 0;
    }
    unsigned char probe[12] = {};
    const UINT size = getTable(rsmb::kProvider, 0, probe, sizeof probe);
    if (size == 0) {
        message = common::Format("GetSystemFirmwareTable ERR=%lu", ::GetLastError());
        return 0;
    }
    std::vector<unsigned char> raw;
    try {
        raw.assign(size, 0);
    } catch (const std::bad_alloc&) {
        message = "Memory allocation error";
        return 0;
    }
    const UINT filled = getTable(rsmb::kProvider, 0, raw.data(), size);
    const DWORD error = ::GetLastError();
    kernel32.reset();
    if (filled == 0) {
        message = common::Format("GetSystemFirmwareTable ERR=%lu", error);
        return 0;
    }
    // A table that grew between the calls leaves the buffer unfilled; the header then reads 0.
    TableFromFirmwareBuffer(raw, std::min<size_t>(filled, raw.size()), table, length);
    buffer.swap(raw);  // swapping keeps `table` pointing into the same bytes
    message = "OK";
    return 1;
}

int LoadDmiBodyFromWmiUsing(const PlatformOs& os, std::vector<unsigned char>& buffer, const unsigned char*& table,
                            uint32_t& length, std::string& message) {
    ClearOutputs(buffer, table, length);
    theLog.WriteLine(kWmiLogTag, "Starting...");
    CWmiSmbiosCollector collector(buffer, table, length, message);
    return os.queryWmiSmbios(collector, message);
}

int LoadDmiBodyFromFirmwareTable(std::vector<unsigned char>& buffer, const unsigned char*& table, uint32_t& length,
                                 std::string& message) {
    return LoadDmiBodyFromFirmwareTableUsing(ActivePlatformOs(), buffer, table, length, message);
}

int LoadDmiBodyFromWmi(std::vector<unsigned char>& buffer, const unsigned char*& table, uint32_t& length,
                       std::string& message) {
    return LoadDmiBodyFromWmiUsing(ActivePlatformOs(), buffer, table, length, message);
}

int GetSystemInfoUsing(const PlatformOs& os, CSystemInfo& info, std::string& error) {
    std::vector<unsigned char> buffer;
    const unsigned char* table = nullptr;
    uint32_t length = 0;
    // The firmware table service's message is overwritten when WMI is tried.
    if (!LoadDmiBodyFromFirmwareTableUsing(os, buffer, table, length, error) &&
        !LoadDmiBodyFromWmiUsing(os, buffer, table, length, error))
        return 0;
    ReadSystemIdentity(table, length, info);
    return 1;
}

int GetSystemInfo(std::string& error) { return GetSystemInfoUsing(ActivePlatformOs(), theSystemInfo, error); }
