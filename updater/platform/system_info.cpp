#include "updater/platform/system_info.h"

#include <memory>

#include "dos/core/dz_identity.h"

CSystemInfo theSystemInfo;

void ReadSystemIdentity(const unsigned char* table, uint32_t length, CSystemInfo& info) {
    // Room for every string a table of 16-bit length can hold: too large for the stack, and
    // left uninitialised (the walk empties each field first).
    std::unique_ptr<dz_identity> identity(new dz_identity);
    dz_read_identity(table, table ? length : 0, identity.get());
    info.SystemBiosVersion = identity->biosVersion;
    info.SystemManufacturer = identity->manufacturer;
    info.SystemProductName = identity->productName;
    info.SystemZeraID = identity->zeraId;
}
