#include "updater/platform/smbios_sources.h"

#include <algorithm>
#include <new>

#include "updater/tools/log_file.h"

void TableFromFirmwareBuffer(const std::vector<unsigned char>& raw, size_t filled, const unsigned char*& table,
                             uint32_t& length) {
    filled = std::min(filled, raw.size());
    if (filled < rsmb::kHeaderSize) {
        table = nullptr;
        length = 0;
        return;
    }
    const unsigned char* field = raw.data() + rsmb::kLengthOffset;
    uint32_t reported = static_cast<uint32_t>(field[0]) | (static_cast<uint32_t>(field[1]) << 8) |
                        (static_cast<uint32_t>(field[2]) << 16) | (static_cast<uint32_t>(field[3]) << 24);
    const size_t available = filled - rsmb::kHeaderSize;
    table = raw.data() + rsmb::kHeaderSize;
    length = static_cast<uint32_t>(std::min<size_t>(reported, available));
}

CWmiSmbiosCollector::CWmiSmbiosCollector(std::vector<unsigned char>& buffer, const unsigned char*& table,
                                         uint32_t& length, std::string& message)
    : m_buffer(buffer), m_table(table), m_length(length), m_message(message) {}

bool CWmiSmbiosCollector::TakeObject(uint32_t size, const unsigned char* data, size_t count) {
    theLog.WriteLine(kWmiLogTag, "Get one SMBIOS data, Size=%lu", static_cast<unsigned long>(size));
    // An object whose SMBiosData is not a byte array carries no table.
    if (!data) return true;
    // Size is not checked against the array by WMI; never copy more than the array holds.
    const size_t take = std::min<size_t>(size, count);
    try {
        std::vector<unsigned char> copy(data, data + take);
        m_buffer.swap(copy);
    } catch (const std::bad_alloc&) {
        std::vector<unsigned char>().swap(m_buffer);
        m_message = "Memory allocation ERR";
        m_table = nullptr;
        m_length = 0;
        m_nResult = 0;
        return false;
    }
    m_table = m_buffer.data();
    m_length = static_cast<uint32_t>(take);
    m_nResult = 1;
    m_message = "OK";
    return true;
}

void CWmiSmbiosCollector::NoMoreObjects() {
    theLog.WriteLine(kWmiLogTag, "No query data");
    m_message = "No data from WMI";
}
