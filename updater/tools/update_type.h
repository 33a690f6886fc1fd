#pragma once
// Which outside tool a redirector run serves; chooses how its output is interpreted.

enum UpdateType : int {
    UpdateTypeBios = 0,        // BIOS flash tool
    UpdateTypeMeVersion = 1,   // ME tool, version query ("-FWVER")
    UpdateTypeMeUpdate = 2,    // ME tool, firmware update ("-f")
    UpdateTypeDriverLoad = 3,  // Windows PE driver loader
};
