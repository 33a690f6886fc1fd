#pragma once
// Message-box styles and answers for portable code. The values are those of the Win32 MB_* and
// ID* constants, so the Windows side hands them to MessageBoxA unchanged.

namespace box {

constexpr unsigned kOk = 0x0;                 // MB_OK
constexpr unsigned kYesNo = 0x4;              // MB_YESNO
constexpr unsigned kIconError = 0x10;         // MB_ICONERROR
constexpr unsigned kIconQuestion = 0x20;      // MB_ICONQUESTION
constexpr unsigned kIconInformation = 0x40;   // MB_ICONINFORMATION

constexpr int kAnswerYes = 6;                 // IDYES

}  // namespace box
