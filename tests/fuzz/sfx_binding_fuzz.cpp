// Fuzz target: the package writer's search for the package slot in a program image, and the
// checksum's place. Beyond the sanitizers' checks, it aborts when a slot it answers does not lie
// whole inside the image with its marker in front, or a checksum field lies outside it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "extractor/package/sfx_binding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string image(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    std::string error;
    if (sfx::FindBindingSlot(image, &at, error) && at != sfx::kNoBindingSlot) {
        if (at > image.size() || image.size() - at < sfx::kBindingSlotSize ||
            image.compare(at, sfx::kBindingMarkerLength, "!SfxImageBinding") != 0) {
            std::fprintf(stderr, "sfx_binding_fuzz: slot at %zu of %zu bytes\n", at, image.size());
            std::abort();
        }
    }
    size_t checksumAt = 0;
    if (sfx::PeChecksumOffset(image, &checksumAt) && (checksumAt > image.size() || image.size() - checksumAt < 4)) {
        std::fprintf(stderr, "sfx_binding_fuzz: checksum at %zu of %zu bytes\n", checksumAt, image.size());
        std::abort();
    }
    return 0;
}
