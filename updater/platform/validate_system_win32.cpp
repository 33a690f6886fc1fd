#include <windows.h>

#include "framework/app_win32.h"
#include "updater/platform/system_info.h"
#include "updater/platform/validate_system.h"

namespace {

BOOL AskDeveloper(const char* question) { return fw::AfxMessageBox(question, MB_YESNO) == IDYES; }

}  // namespace

int ValidateSystem(const std::vector<uint32_t>& zeraIds, bool developer, std::string& error) {
    return ValidateSystemWith(theSystemInfo, zeraIds, developer, &AskDeveloper, error);
}
