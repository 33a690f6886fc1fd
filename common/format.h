#pragma once
// printf-style formatting into a std::string with no length limit.

#include <cstdarg>
#include <string>

#include "common/portable_types.h"

namespace common {

std::string FormatV(const char* format, va_list args);
std::string Format(const char* format, ...) BREVANE_PRINTF(1, 2);

}  // namespace common
