// uidriver: one UI action per run against a top-level window of another process.
//
//   uidriver VERB [window options] [verb options]
//
// Window options: --hwnd 0xHANDLE | --title TEXT | --title-contains TEXT, --class NAME,
// --pid N, --owner 0xHANDLE (owned by that window), --exclude 0xHANDLE, --msgbox (message boxes
// only), --no-msgbox (anything but a message box), --hidden (also invisible windows), and
// --timeout MS (how long to wait for the window; default 10000). Text options also accept a
// "-hex" form (--title-hex 4F4B).
//
// Verbs and their output (one "key=value" record per line, texts quoted as QuoteText does):
//   list                       every matching top-level window: hwnd pid class title visible
//   wait                       hwnd= of the window once it exists
//   wait-gone                  succeeds once no window matches
//   controls [--font FACE --font-size POINTS]
//                              each child: id class text style visible enabled rect (client
//                              pixels); with the dialog template's font also dlu= (dialog
//                              units, "?" for a value no dialog unit maps to), after a first
//                              "baseunits x= y= client=w,h dlu=w,h" line for the window
//   text [--id N]              text= of the control (or of the window itself)
//   state --id N               visible= enabled=
//   click (--id N | --button TEXT) [--command] [--force]
//                              presses a button: posted BM_CLICK, or with --command a posted
//                              WM_COMMAND/BN_CLICKED to the window; a disabled button is
//                              refused unless --force
//   key --key enter|escape|space|tab
//                              posts the key to the control that has the focus in that window
//   msgbox                     text= of the box, then one "button id= text=" line per button
//   answer --button TEXT       presses the message box button with that text
//   close [--wm-close]         the close box (WM_SYSCOMMAND SC_CLOSE), or with --wm-close a
//                              posted WM_CLOSE, as another program would ask the window to go
//   settext --id N --value TEXT
//                              replaces the text of an edit or combo box (WM_SETTEXT)
//   watch [--id N] --duration MS [--interval MS]
//                              t= text= each time the control's (or the window's) text changes
// Exit code: 0 done, 1 the window, control or action failed (error= says why), 2 usage.
#include <windows.h>

#include <cstdio>
#include <string>

#include "devtools/uidriver/uidriver_options.h"
#include "devtools/uidriver/uidriver_windows_win32.h"
#include "framework/unique_handle_win32.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr DWORD kReadyBoundMs = 5000;

void Emit(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int Fail(const std::string& reason) {
    Emit("error=" + QuoteText(reason));
    return kFailed;
}

std::string Hex(unsigned long long value) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%llX", value);
    return text;
}

std::string HandleText(HWND hwnd) { return Hex(reinterpret_cast<ULONG_PTR>(hwnd)); }

bool BuildQuery(const DriverOptions& options, WindowQuery& query, std::string& error) {
    unsigned long long number = 0;
    if (!options.GetNumber("hwnd", 0, number)) {
        error = "bad --hwnd";
        return false;
    }
    query.hwnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(number));
    if (!options.GetNumber("pid", 0, number)) {
        error = "bad --pid";
        return false;
    }
    query.processId = static_cast<DWORD>(number);
    if (!options.GetNumber("owner", 0, number)) {
        error = "bad --owner";
        return false;
    }
    query.owner = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(number));
    if (!options.GetNumber("exclude", 0, number)) {
        error = "bad --exclude";
        return false;
    }
    query.exclude = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(number));
    query.messageBoxOnly = options.Flag("msgbox");
    query.noMessageBox = options.Flag("no-msgbox");
    query.title = options.Get("title");
    query.titleContains = options.Get("title-contains");
    query.className = options.Get("class");
    query.visibleOnly = !options.Flag("hidden");
    return true;
}

std::string Describe(HWND hwnd) {
    std::string text;
    ReadWindowText(hwnd, text);
    return QuoteText(text);
}

// Dialog base units of a template font, computed the way dialog creation does: the font at
// -MulDiv(points, LOGPIXELSY, 72), the average width of the 52 letters, and the text height.
struct BaseUnits {
    int x = 0;
    int y = 0;
};

bool ComputeBaseUnits(const std::string& face, int points, BaseUnits& units) {
    HDC screen = ::GetDC(nullptr);
    if (!screen) return false;
    int height = -::MulDiv(points, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
    fw::UniqueGdiObject font(::CreateFontA(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                                           PROOF_QUALITY, FF_DONTCARE, face.c_str()));
    bool ok = false;
    if (font) {
        HGDIOBJ previous = ::SelectObject(screen, font.get());
        static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE size = {};
        TEXTMETRICA metrics = {};
        if (::GetTextExtentPoint32A(screen, kLetters, 52, &size) && ::GetTextMetricsA(screen, &metrics)) {
            units.x = (size.cx / 26 + 1) / 2;
            units.y = metrics.tmHeight;
            ok = units.x > 0 && units.y > 0;
        }
        ::SelectObject(screen, previous);
    }
    ::ReleaseDC(nullptr, screen);
    return ok;
}

// The dialog-unit value that dialog creation maps to `pixels`, or "?". A horizontal unit is a
// quarter of the base width (divisor 4), a vertical one an eighth of the base height (8).
std::string ToDialogUnits(long pixels, int base, int divisor) {
    long guess = ::MulDiv(static_cast<int>(pixels), divisor, base);
    for (long value = guess - 2; value <= guess + 2; ++value) {
        if (::MulDiv(static_cast<int>(value), base, divisor) == pixels) return std::to_string(value);
    }
    return "?";
}

std::string ControlLine(HWND parent, HWND child, const BaseUnits* units) {
    RECT rect = {};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    LONG style = ::GetWindowLongA(child, GWL_STYLE);
    char geometry[96];
    std::snprintf(geometry, sizeof(geometry), " rect=%ld,%ld,%ld,%ld", rect.left, rect.top,
                  rect.right - rect.left, rect.bottom - rect.top);
    std::string line = "id=" + std::to_string(::GetDlgCtrlID(child)) + " class=" + QuoteText(ReadClassName(child)) +
                       " text=" + Describe(child) + " style=" + Hex(static_cast<unsigned long>(style)) +
                       " visible=" + (::IsWindowVisible(child) ? "1" : "0") +
                       " enabled=" + (::IsWindowEnabled(child) ? "1" : "0") + geometry;
    if (units) {
        line += " dlu=" + ToDialogUnits(rect.left, units->x, 4) + "," + ToDialogUnits(rect.top, units->y, 8) + "," +
                ToDialogUnits(rect.right - rect.left, units->x, 4) + "," +
                ToDialogUnits(rect.bottom - rect.top, units->y, 8);
    }
    return line;
}

// The control named by --id, or null with `error` set.
HWND FindControl(HWND window, const DriverOptions& options, std::string& error) {
    unsigned long long id = 0;
    if (!options.Has("id") || !options.GetNumber("id", 0, id)) {
        error = "--id N is needed";
        return nullptr;
    }
    HWND control = ::GetDlgItem(window, static_cast<int>(id));
    if (!control) error = "no control with id " + std::to_string(id);
    return control;
}

// Waits until the window's process sits in its message loop with nothing left to do, as a
// person would wait for a window to be ready before pressing anything. A process that cannot
// be opened or does not get idle in time is driven anyway; the action then shows the outcome.
void WaitUntilReady(HWND window) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    fw::UniqueHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, pid));
    if (process) ::WaitForInputIdle(process.get(), kReadyBoundMs);
}

int Press(HWND window, HWND button, const DriverOptions& options) {
    WaitUntilReady(window);
    if (!::IsWindowEnabled(button) && !options.Flag("force")) return Fail("button is disabled");
    if (options.Flag("command")) {
        int id = ::GetDlgCtrlID(button);
        if (!::PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button))) {
            return Fail("PostMessage WM_COMMAND failed");
        }
    } else if (!::PostMessageA(button, BM_CLICK, 0, 0)) {
        return Fail("PostMessage BM_CLICK failed");
    }
    Emit("pressed id=" + std::to_string(::GetDlgCtrlID(button)));
    return kOk;
}

int PressNamed(HWND window, const DriverOptions& options) {
    HWND button = nullptr;
    std::string error;
    if (options.Has("button")) {
        button = FindButtonByText(window, options.Get("button"));
        if (!button) return Fail("no button " + options.Get("button"));
    } else {
        button = FindControl(window, options, error);
        if (!button) return Fail(error);
    }
    return Press(window, button, options);
}

int SendKey(HWND window, const DriverOptions& options) {
    std::string name = options.Get("key");
    UINT key = 0;
    if (name == "enter") key = VK_RETURN;
    else if (name == "escape") key = VK_ESCAPE;
    else if (name == "space") key = VK_SPACE;
    else if (name == "tab") key = VK_TAB;
    else return Fail("unknown key " + name);

    WaitUntilReady(window);
    // A dialog's message loop routes keys through IsDialogMessage from the focused control, as
    // it does with a real key press.
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    HWND target = window;
    if (::GetGUIThreadInfo(thread, &info) && info.hwndFocus &&
        (info.hwndFocus == window || ::IsChild(window, info.hwndFocus))) {
        target = info.hwndFocus;
    }
    UINT scan = ::MapVirtualKeyA(key, 0);
    LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    LPARAM up = down | (static_cast<LPARAM>(3) << 30);
    if (!::PostMessageA(target, WM_KEYDOWN, key, down) || !::PostMessageA(target, WM_KEYUP, key, up)) {
        return Fail("PostMessage key failed");
    }
    Emit("sent key=" + name + " to=" + HandleText(target));
    return kOk;
}

int ShowMessageBox(HWND box) {
    // The box's text is its one static control without an icon; its buttons are its Button
    // children.
    std::string text;
    for (HWND child : ListChildren(box)) {
        if (ReadClassName(child) != "Static") continue;
        LONG style = ::GetWindowLongA(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) continue;
        std::string part;
        ReadWindowText(child, part);
        if (!part.empty()) text = part;
    }
    Emit("text=" + QuoteText(text));
    for (HWND child : ListChildren(box)) {
        if (ReadClassName(child) != "Button" || !::IsWindowVisible(child)) continue;
        Emit("button id=" + std::to_string(::GetDlgCtrlID(child)) + " text=" + Describe(child));
    }
    return kOk;
}

int Watch(HWND window, const DriverOptions& options) {
    std::string error;
    // Without --id the window's own text (its title) is watched.
    HWND control = options.Has("id") ? FindControl(window, options, error) : window;
    if (!control) return Fail(error);
    unsigned long long duration = 0;
    unsigned long long interval = 0;
    if (!options.GetNumber("duration", 1000, duration) || !options.GetNumber("interval", 10, interval)) {
        return Fail("bad --duration or --interval");
    }
    ULONGLONG start = ::GetTickCount64();
    std::string last;
    bool first = true;
    while (::GetTickCount64() - start < duration) {
        std::string text;
        if (!::IsWindow(control)) break;
        if (ReadWindowText(control, text) && (first || text != last)) {
            Emit("t=" + std::to_string(::GetTickCount64() - start) + " text=" + QuoteText(text));
            last = text;
            first = false;
        }
        ::Sleep(static_cast<DWORD>(interval));
    }
    return kOk;
}

int Run(const DriverOptions& options) {
    WindowQuery query;
    std::string error;
    if (!BuildQuery(options, query, error)) {
        Emit("error=" + QuoteText(error));
        return kUsage;
    }
    unsigned long long timeout = 0;
    if (!options.GetNumber("timeout", 10000, timeout)) {
        Emit("error=\"bad --timeout\"");
        return kUsage;
    }
    const std::string& verb = options.verb;

    if (verb == "list") {
        for (HWND hwnd : FindTopLevelWindows(query)) {
            DWORD pid = 0;
            ::GetWindowThreadProcessId(hwnd, &pid);
            Emit("hwnd=" + HandleText(hwnd) + " pid=" + std::to_string(pid) + " class=" +
                 QuoteText(ReadClassName(hwnd)) + " title=" + Describe(hwnd) +
                 " visible=" + (::IsWindowVisible(hwnd) ? "1" : "0"));
        }
        return kOk;
    }
    if (verb == "wait-gone") {
        return WaitForNoWindow(query, static_cast<DWORD>(timeout)) ? kOk : Fail("window still there");
    }

    HWND window = WaitForWindow(query, static_cast<DWORD>(timeout));
    if (!window) return Fail("no such window");

    if (verb == "wait") {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        Emit("hwnd=" + HandleText(window) + " pid=" + std::to_string(pid));
        return kOk;
    }
    if (verb == "controls") {
        BaseUnits units;
        unsigned long long points = 0;
        bool withUnits = options.Has("font");
        if (withUnits && (!options.GetNumber("font-size", 8, points) ||
                          !ComputeBaseUnits(options.Get("font"), static_cast<int>(points), units))) {
            return Fail("cannot measure font " + options.Get("font"));
        }
        if (withUnits) {
            RECT client = {};
            ::GetClientRect(window, &client);
            Emit("baseunits x=" + std::to_string(units.x) + " y=" + std::to_string(units.y) +
                 " client=" + std::to_string(client.right) + "," + std::to_string(client.bottom) +
                 " dlu=" + ToDialogUnits(client.right, units.x, 4) + "," + ToDialogUnits(client.bottom, units.y, 8));
        }
        for (HWND child : ListChildren(window)) Emit(ControlLine(window, child, withUnits ? &units : nullptr));
        return kOk;
    }
    if (verb == "text") {
        HWND target = window;
        if (options.Has("id") && !(target = FindControl(window, options, error))) return Fail(error);
        std::string text;
        if (!ReadWindowText(target, text)) return Fail("window does not answer");
        Emit("text=" + QuoteText(text));
        return kOk;
    }
    if (verb == "state") {
        HWND control = FindControl(window, options, error);
        if (!control) return Fail(error);
        Emit(std::string("visible=") + (::IsWindowVisible(control) ? "1" : "0") +
             " enabled=" + (::IsWindowEnabled(control) ? "1" : "0"));
        return kOk;
    }
    if (verb == "settext") {
        // Typing into an edit or a combo box's edit, such as a file dialog's name box.
        HWND control = FindControl(window, options, error);
        if (!control) return Fail(error);
        std::string value = options.Get("value");
        DWORD_PTR ignored = 0;
        if (!::SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()), SMTO_ABORTIFHUNG,
                                   5000, &ignored)) {
            return Fail("WM_SETTEXT failed");
        }
        Emit("set hwnd=" + HandleText(control));
        return kOk;
    }
    if (verb == "click" || verb == "answer") return PressNamed(window, options);
    if (verb == "key") return SendKey(window, options);
    if (verb == "msgbox") return ShowMessageBox(window);
    if (verb == "close") {
        WaitUntilReady(window);
        if (options.Flag("wm-close")) {
            if (!::PostMessageA(window, WM_CLOSE, 0, 0)) return Fail("PostMessage WM_CLOSE failed");
        } else if (!::PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0)) {
            return Fail("PostMessage SC_CLOSE failed");
        }
        Emit("closed hwnd=" + HandleText(window));
        return kOk;
    }
    if (verb == "watch") return Watch(window, options);
    Emit("error=" + QuoteText("unknown verb " + verb));
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    DriverOptions options;
    std::string error;
    if (!ParseDriverOptions(argc, argv, {"hidden", "command", "force", "msgbox", "no-msgbox", "wm-close"}, options,
                            error)) {
        Emit("error=" + QuoteText(error));
        Emit("usage: uidriver VERB [--hwnd H | --title T | --title-contains T] [--class C] [--pid N] [--timeout MS] ...");
        return kUsage;
    }
    return Run(options);
}
