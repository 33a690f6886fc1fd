#pragma once
// The package bound to its program image. The image carries a slot in its read-only data:
//
//   16 bytes  marker (found by the writer only; see sfx_binding.cpp)
//    8 bytes  u64 offset of the package ("!SRC")
//    8 bytes  u64 length of the package, "!SRC" to the end of the trailer
//   32 bytes  SHA-256 of those bytes
//
// The image is built with the slot zero after its marker; the writer fills it in before the
// file is signed. A signature covers the image's sections and so the slot, and the slot covers
// the package: the reader takes the slot from the image it runs as (mapped, never read from the
// file) and reads only a package that matches it. A zero length means no package was recorded
// (an image written behind by an older writer): the package is read as it is.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/portable_types.h"
#include "extractor/package/sfx_sha256.h"

namespace sfx {

constexpr size_t kBindingMarkerLength = 16;
constexpr size_t kBindingSlotSize = kBindingMarkerLength + 8 + 8 + kSha256Size;  // 64

struct SfxBinding {
    uint64_t offset = 0;
    uint64_t length = 0;  // 0: nothing recorded
    uint8_t digest[kSha256Size] = {};
    bool Recorded() const { return length != 0; }
};

// The values of a slot's bytes (kBindingSlotSize of them, marker first).
inline SfxBinding ParseBindingSlot(const uint8_t* slot) {
    SfxBinding binding;
    for (int i = 7; i >= 0; --i) {
        binding.offset = (binding.offset << 8) | slot[kBindingMarkerLength + i];
        binding.length = (binding.length << 8) | slot[kBindingMarkerLength + 8 + i];
    }
    for (size_t i = 0; i < kSha256Size; ++i) binding.digest[i] = slot[kBindingMarkerLength + 16 + i];
    return binding;
}

// The writer's side. Where the slot of `image` (the whole program file) is: TRUE with its file
// offset in *at, or TRUE with *at = npos when the image has none (not a PE image, or one built
// before images had a slot). FALSE with the reason when the marker is there but the slot cannot
// be used: more than once, not wholly inside one section's raw data, in a writable section, or
// already filled in. Discardable sections (debugging data) are not searched.
constexpr size_t kNoBindingSlot = static_cast<size_t>(-1);
[[nodiscard]] BOOL FindBindingSlot(const std::string& image, size_t* at, std::string& error);

// The slot's bytes after its marker for `binding` (kBindingSlotSize - kBindingMarkerLength).
std::string BindingSlotValues(const SfxBinding& binding);

// Where the checksum field of the PE image `image` is; FALSE for no PE image.
[[nodiscard]] bool PeChecksumOffset(const std::string& image, size_t* at);

// The PE checksum of a file, fed its bytes in any order of pieces, each with its file offset:
// 16-bit little-endian words added with their carries folded back, plus the file's length. The
// caller leaves the checksum field itself out (or feeds it as zeros).
class CPeChecksum {
public:
    void Add(const void* data, size_t size, uint64_t fileOffset);
    uint32_t Value(uint64_t fileSize) const;

private:
    uint64_t m_sum = 0;
};

}  // namespace sfx
