// platform_probe COMMAND: runs one platform routine the way Brevane does and prints its answer
// as "key=value" lines on standard output. The log goes to Brevane.log in the current folder.
//
//   sysinfo   GetSystemInfo: result, message, manufacturer, product, bios, zeraid (hex)
//   validate  GetSystemInfo, then ValidateSystem with the /ZeraID values that follow (hex)
//   admin     IsAdministratorUser
//   winpe     IsWinPE
//   affinity  SetSingleProcessor (silent: no message box)
//   reboot    RebootWinPE under Windows PE, RebootWindows otherwise: result, message
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "updater/platform/platform_services.h"
#include "updater/platform/system_info.h"
#include "updater/platform/validate_system.h"

namespace {

void Print(const char* key, const std::string& value) { std::printf("%s=%s\n", key, value.c_str()); }
void Print(const char* key, long value) { std::printf("%s=%ld\n", key, value); }

int SysInfo() {
    std::string message;
    int result = GetSystemInfo(message);
    Print("result", result);
    Print("message", message);
    Print("manufacturer", theSystemInfo.SystemManufacturer);
    Print("product", theSystemInfo.SystemProductName);
    Print("bios", theSystemInfo.SystemBiosVersion);
    std::printf("zeraid=%04X\n", static_cast<unsigned>(theSystemInfo.SystemZeraID));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "sysinfo") return SysInfo();
    if (command == "validate") {
        std::string message;
        (void)GetSystemInfo(message);
        std::vector<uint32_t> zeraIds;
        for (int i = 2; i < argc; ++i) zeraIds.push_back(std::strtoul(argv[i], nullptr, 16));
        std::string error;
        Print("result", ValidateSystem(zeraIds, false, error));
        Print("message", error);
        return 0;
    }
    if (command == "admin") return Print("result", IsAdministratorUser()), 0;
    if (command == "winpe") return Print("result", IsWinPE()), 0;
    if (command == "affinity") return Print("result", SetSingleProcessor(false, true)), 0;  // silent
    if (command == "reboot") {
        std::string message;
        BOOL winpe = IsWinPE();
        BOOL result = winpe ? RebootWinPE(message) : RebootWindows(message);
        Print("result", result);
        Print("message", message);
        return 0;
    }
    std::fprintf(stderr, "usage: platform_probe sysinfo|validate ID...|admin|winpe|affinity|reboot\n");
    return 2;
}
