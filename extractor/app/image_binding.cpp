#include "extractor/app/image_binding.h"

#include <cstring>

namespace sfx {

namespace {

// The slot the package writer fills in, in read-only data. The marker is spelt only here in the
// program (sfx_binding.cpp, which spells it for the writer, is not linked into it).
__attribute__((used)) const unsigned char g_packageSlot[kBindingSlotSize] = "!SfxImageBinding";
static_assert(sizeof "!SfxImageBinding" == kBindingMarkerLength + 1, "the marker fills its field");

}  // namespace

SfxBinding ImageBinding() {
    // The compiler knows the zeros the slot was built with and would answer "nothing recorded"
    // without reading it: the empty asm hides where the pointer points, so the bytes are read
    // from the mapped image. (Not volatile: that would move the slot into writable data.)
    const unsigned char* slot = g_packageSlot;
    asm volatile("" : "+r"(slot));
    uint8_t bytes[kBindingSlotSize];
    std::memcpy(bytes, slot, sizeof bytes);
    return ParseBindingSlot(bytes);
}

}  // namespace sfx
