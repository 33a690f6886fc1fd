#include "extractor/package/sfx_binding.h"

#include <cstring>

#include "dos/core/dz_toc.h"
#include "extractor/package/sfx_format.h"

namespace sfx {

namespace {

// Spelt here and in the slot of the program image only: Extractor never links this file, so its
// image holds the marker once, where the slot is.
constexpr char kBindingMarker[kBindingMarkerLength + 1] = "!SfxImageBinding";

constexpr uint32_t kSectionWritable = 0x80000000;     // IMAGE_SCN_MEM_WRITE
constexpr uint32_t kSectionDiscardable = 0x02000000;  // IMAGE_SCN_MEM_DISCARDABLE
constexpr size_t kSectionHeaderSize = 40;

uint32_t U32At(const std::string& bytes, size_t at) { return dz_le32(reinterpret_cast<const uint8_t*>(&bytes[at])); }
uint16_t U16At(const std::string& bytes, size_t at) { return dz_le16(reinterpret_cast<const uint8_t*>(&bytes[at])); }

// The PE header's offset when `image` has a DOS header pointing at a PE signature and a whole
// file header.
bool PeHeaderAt(const std::string& image, size_t* peAt) {
    uint32_t offset = 0;
    if (!PeDosHeaderOffset(reinterpret_cast<const uint8_t*>(image.data()), image.size(), &offset)) return false;
    if (offset > image.size() || image.size() - offset < 24 || image.compare(offset, 4, "PE\0\0", 4) != 0)
        return false;
    *peAt = offset;
    return true;
}

}  // namespace

BOOL FindBindingSlot(const std::string& image, size_t* at, std::string& error) {
    *at = kNoBindingSlot;
    size_t peAt = 0;
    if (!PeHeaderAt(image, &peAt)) return TRUE;
    const size_t sections = U16At(image, peAt + 6);
    const size_t tableAt = peAt + 24 + U16At(image, peAt + 20);
    if (tableAt > image.size() || (image.size() - tableAt) / kSectionHeaderSize < sections) {
        error = "the program's section table lies beyond its end";
        return FALSE;
    }
    size_t found = kNoBindingSlot;
    for (size_t s = 0; s < sections; ++s) {
        const size_t header = tableAt + s * kSectionHeaderSize;
        const uint64_t rawSize = U32At(image, header + 16);
        const uint64_t rawAt = U32At(image, header + 20);
        const uint32_t characteristics = U32At(image, header + 36);
        // Debugging data (kept in simulation builds) may quote the slot's initial bytes; it is
        // no part of what the program reads at run time.
        if (rawAt >= image.size() || (characteristics & kSectionDiscardable)) continue;
        const size_t end = static_cast<size_t>(rawAt + rawSize < image.size() ? rawAt + rawSize : image.size());
        for (size_t from = static_cast<size_t>(rawAt);;) {
            size_t hit = image.find(kBindingMarker, from, kBindingMarkerLength);
            if (hit == std::string::npos || hit + kBindingMarkerLength > end) break;
            if (found != kNoBindingSlot) {
                error = "the program holds the package slot's marker more than once";
                return FALSE;
            }
            if (end - hit < kBindingSlotSize) {
                error = "the program's package slot is cut off by the end of its section";
                return FALSE;
            }
            if (characteristics & kSectionWritable) {
                error = "the program's package slot lies in a writable section";
                return FALSE;
            }
            found = hit;
            from = hit + 1;
        }
    }
    if (found == kNoBindingSlot) return TRUE;
    for (size_t i = kBindingMarkerLength; i < kBindingSlotSize; ++i) {
        if (image[found + i] != '\0') {
            error = "the program's package slot is already filled in: give the program as it was built";
            return FALSE;
        }
    }
    *at = found;
    return TRUE;
}

std::string BindingSlotValues(const SfxBinding& binding) {
    CByteWriter writer;
    writer.U64(binding.offset);
    writer.U64(binding.length);
    writer.Bytes(binding.digest, sizeof binding.digest);
    return writer.Data();
}

bool PeChecksumOffset(const std::string& image, size_t* at) {
    size_t peAt = 0;
    // The checksum is at the same place in both optional headers (PE32 and PE32+).
    if (!PeHeaderAt(image, &peAt) || image.size() - peAt < 24 + 68) return false;
    *at = peAt + 24 + 64;
    return true;
}

void CPeChecksum::Add(const void* data, size_t size, uint64_t fileOffset) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) m_sum += static_cast<uint64_t>(bytes[i]) << (((fileOffset + i) & 1) * 8);
}

uint32_t CPeChecksum::Value(uint64_t fileSize) const {
    uint64_t sum = m_sum;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + fileSize);
}

}  // namespace sfx
