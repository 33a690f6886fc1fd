#include "extractor/app/owner_records_win32.h"

#include <windows.h>

namespace sfx {

bool SystemRecordsOwners() {
    return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr;
}

}  // namespace sfx
