#pragma once
// The portable halves of the two SMBIOS sources: reading the firmware table service's header,
// and taking the objects that WMI delivers. Both hand the table to the caller through the same
// outputs: a buffer that owns the bytes, the table address inside it, and the usable length.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Offsets of the firmware table service's header ('RSMB' provider).
namespace rsmb {
constexpr uint32_t kProvider = 0x52534D42;  // 'RSMB'
constexpr size_t kHeaderSize = 8;
constexpr size_t kLengthOffset = 4;
}  // namespace rsmb

// Locates the structure table in a raw firmware table of which the service filled `filled` bytes.
// The Length field is untrusted: the usable length is cut to the bytes that follow the header.
// A raw table too short to hold its header gives an empty table.
void TableFromFirmwareBuffer(const std::vector<unsigned char>& raw, size_t filled, const unsigned char*& table,
                             uint32_t& length);

// Takes the MSSmBios_RawSMBiosTables objects of one WMI query in turn; a later object replaces the
// table taken from an earlier one.
class CWmiSmbiosCollector {
public:
    CWmiSmbiosCollector(std::vector<unsigned char>& buffer, const unsigned char*& table, uint32_t& length,
                        std::string& message);

    // One object: `size` is its Size property (0 when unreadable), `data`/`count` its SMBiosData
    // bytes (null when the property is not a byte array). Only the bytes the array really holds are
    // copied. Logs "Get one SMBIOS data, Size=%lu". false: stop enumerating.
    bool TakeObject(uint32_t size, const unsigned char* data, size_t count);
    // The enumeration found no further object.
    void NoMoreObjects();

    // 1 once an object supplied a table, else 0.
    int Result() const { return m_nResult; }

private:
    std::vector<unsigned char>& m_buffer;
    const unsigned char*& m_table;
    uint32_t& m_length;
    std::string& m_message;
    int m_nResult = 0;
};

// Log tag of the WMI source.
constexpr const char* kWmiLogTag = "LoadDmiBodyFromWmi";
