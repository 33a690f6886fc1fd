#pragma once
// What the running program's own image records about the package behind it (sfx_binding.h).

#include "extractor/package/sfx_binding.h"

namespace sfx {

// Read from the slot in this program's mapped image, never from its file: the file can be
// renamed and replaced under a running program, the image it runs as cannot.
SfxBinding ImageBinding();

}  // namespace sfx
