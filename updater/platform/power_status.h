#pragma once
// The system power status as Windows reports it (GetSystemPowerStatus): what the platform reads,
// and what the power gate judges.

#include <cstdint>

struct PowerStatus {
    bool read = true;             // false: the status could not be read (`error` says why)
    uint32_t error = 0;
    uint8_t acLine = 1;           // 0 off line, 1 on line, 255 unknown
    uint8_t batteryFlag = 128;    // bit field; 128 no system battery, 255 unknown
    uint8_t batteryPercent = 255; // 0 to 100, 255 unknown
};
