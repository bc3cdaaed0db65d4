// Drives tamrix.exe as a user would, through its windows, for the
// end-to-end tests under Wine.
//
//   driver PROGRAM SCRIPT
//
// SCRIPT holds one step per line; blank lines and lines starting with '#'
// are skipped.  Arguments are separated by blanks; "quoted" arguments may
// hold blanks and the escapes \n, \" and \\.  Steps:
//
//   regadd KEY            create a key under HKLM (KEY: HKLM\Enum\...)
//   regexists KEY         the key must exist
//   reggone KEY           the key must not exist
//   start                 start PROGRAM; with a copy already started, start
//                         another: the steps then act on the new copy
//   attach                take a running program, found by its dialog
//                         (PROGRAM is then not used)
//   copy N                the steps act on the Nth copy started again
//   dialog                wait for the dialog "Tamrix.exe R1.01"
//   check BOX STATE       BM_GETCHECK of check box BOX must give STATE
//   set BOX STATE         BM_SETCHECK on check box BOX
//   click BUTTON          WM_COMMAND from BUTTON, as its click sends it
//   press BUTTON          BM_CLICK on BUTTON
//   mouse BUTTON          a real click: mouse input at the centre of BUTTON,
//                         which must not be covered by another window
//   command NAME          WM_COMMAND with NAME's id as its whole first
//                         parameter (NAME may also be cancel, IDCANCEL)
//   key escape|enter      a key press sent to the window with the focus
//   box CAPTION TEXT BUTTONS ICON ANSWER
//                         wait for a message box and answer it: BUTTONS is
//                         ok or yesno, ICON is icon or noicon, or which icon:
//                         information, question, warning or error; ANSWER
//                         is ok, yes or no
//   await CAPTION         wait for a message box with CAPTION, leave it open
//   enabled STATE         IsWindowEnabled of the dialog must give STATE, at
//                         once or within the timeout
//   away                  a small window of the driver's own, in the top
//                         left corner, becomes the foreground window, as
//                         when the user works in another program
//   foreground            the dialog must be the foreground window
//   quiet MS              for MS milliseconds the dialog stays open and no
//                         box appears
//   exit STATUS           wait for the end of the process: no box may appear
//                         on the way, and its exit status must be STATUS
//   nodialog              the dialog has not been seen in this process
//   shot FILE             save the dialog, as the screen shows it, as a BMP
//
// Controls are named as in resources/dialog_ids.h, without IDC_ and in
// lower case: install, uninstall, exit, usb, chipsets.
//
// Every step prints what it saw; the first failing step ends the run with
// status 1 (every copy of the program still running is ended).
#include <windows.h>

#include "../../resources/dialog_ids.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char kDialogTitle[] = "Tamrix.exe R1.01";
const int kMessageTextId = 0xFFFF;  // the text of a message box
const int kMessageIconId = 0x0440;  // its icon

DWORD timeout_ms = 20000;
std::string program;
PROCESS_INFORMATION process{};
bool started = false;
HWND dialog = nullptr;
bool dialog_seen = false;

// Every copy of the program the script started or attached to, in order.
// The steps act on one of them, whose state is in process, dialog and
// dialog_seen while it is the current copy.
struct Copy {
    PROCESS_INFORMATION process;
    HWND dialog;
    bool dialog_seen;
};
std::vector<Copy> copies;
size_t current = 0;

// Puts the current copy's state back into its place in copies.
void put_back() {
    if (started)
        copies[current] = Copy{process, dialog, dialog_seen};
}

bool still_active(const PROCESS_INFORMATION& copy) {
    DWORD status = 0;
    return GetExitCodeProcess(copy.hProcess, &status) && status == STILL_ACTIVE;
}

// A new copy, the current one from now on.
void add_copy() {
    copies.push_back(Copy{process, nullptr, false});
    current = copies.size() - 1;
    started = true;
    dialog = nullptr;
    dialog_seen = false;
}

struct Name {
    const char* name;
    int id;
};
const Name kControls[] = {
    {"install", IDC_INSTALL}, {"uninstall", IDC_UNINSTALL}, {"exit", IDC_EXIT},
    {"usb", IDC_USB},         {"chipsets", IDC_CHIPSETS},
};

std::string shown(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

[[noreturn]] void fail(const std::string& why) {
    std::printf("FAIL %s\n", why.c_str());
    put_back();
    // Every copy still running is ended, and gone, before the driver is.
    for (const Copy& copy : copies) {
        if (!still_active(copy.process)) continue;
        TerminateProcess(copy.process.hProcess, 99);
        WaitForSingleObject(copy.process.hProcess, 5000);
    }
    std::fflush(stdout);
    std::exit(1);
}

void ok(const std::string& what) {
    std::printf("ok   %s\n", what.c_str());
    std::fflush(stdout);
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        std::string word;
        if (line[i] == '"') {
            ++i;
            while (i < line.size() && line[i] != '"') {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    ++i;
                    word += line[i] == 'n' ? '\n' : line[i];
                } else {
                    word += line[i];
                }
                ++i;
            }
            ++i;  // the closing quote
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

std::string window_text(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string class_of(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool running() {
    return started && still_active(process);
}

// The program's visible dialog windows (class #32770), top-level.
std::vector<HWND> dialog_windows() {
    std::vector<HWND> found;
    if (!started)
        return found;
    EnumWindows(
        [](HWND window, LPARAM list) -> BOOL {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid == process.dwProcessId && IsWindowVisible(window) &&
                class_of(window) == "#32770")
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Looks at the program's windows once: notes the dialog, returns a message
// box if one is open.
HWND look() {
    HWND box = nullptr;
    for (HWND window : dialog_windows()) {
        if (window == dialog)
            continue;
        if (dialog == nullptr && window_text(window) == kDialogTitle &&
            GetDlgItem(window, IDC_INSTALL) != nullptr) {
            dialog = window;
            dialog_seen = true;
            continue;
        }
        box = window;
    }
    if (dialog != nullptr && !IsWindow(dialog))
        dialog = nullptr;
    return box;
}

HWND message_text_control(HWND box) {
    HWND text = GetDlgItem(box, kMessageTextId);
    if (text != nullptr)
        return text;
    // Fallback: the first static control with text.
    HWND child = nullptr;
    while ((child = FindWindowExA(box, child, "Static", nullptr)) != nullptr) {
        if (!window_text(child).empty())
            return child;
    }
    return nullptr;
}

// The system's icons a box may show, by the names the steps give them.
struct Icon {
    const char* name;
    LPCSTR id;
};
const Icon kIcons[] = {
    {"information", IDI_ASTERISK},
    {"question", IDI_QUESTION},
    {"warning", IDI_EXCLAMATION},
    {"error", IDI_HAND},
};

// The pixels of a width x height bitmap selected into memory, top row first.
struct Pixels {
    HDC memory;
    HBITMAP bitmap;
    HGDIOBJ old;
    const DWORD* bits;
    Pixels(HDC screen, int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* data = nullptr;
        memory = CreateCompatibleDC(screen);
        bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &data, nullptr, 0);
        old = SelectObject(memory, bitmap);
        bits = static_cast<const DWORD*>(data);
    }
    ~Pixels() {
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
    }
};

bool alike(DWORD a, DWORD b) {
    for (int shift = 0; shift < 24; shift += 8) {
        int difference =
            static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (difference > 8 || difference < -8)
            return false;
    }
    return true;
}

// Which of the system's icons the icon control of a box shows.  Its icon
// handle belongs to the program's process, so the picture on the screen
// is compared with each system icon drawn here as the control draws it:
// over the control's size, on its background.  "icon" when none is alike.
std::string icon_name(HWND picture) {
    RECT rect;
    GetWindowRect(picture, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0 || width > 256 || height > 256)
        return "icon";
    int count = width * height;
    HDC screen = GetDC(nullptr);
    Pixels seen(screen, width, height);
    BitBlt(seen.memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    DWORD corner = seen.bits[0];  // the icons leave their corners clear
    HBRUSH background =
        CreateSolidBrush(RGB((corner >> 16) & 0xFF, (corner >> 8) & 0xFF, corner & 0xFF));
    RECT all{0, 0, width, height};
    std::string name = "icon";
    int fewest = count / 20 + 1;  // at most 5% of the pixels may differ
    for (const Icon& icon : kIcons) {
        Pixels drawn(screen, width, height);
        FillRect(drawn.memory, &all, background);
        DrawIconEx(drawn.memory, 0, 0, LoadIconA(nullptr, icon.id), width, height, 0, nullptr,
                   DI_NORMAL);
        GdiFlush();
        int differing = 0;
        for (int i = 0; i < count; ++i)
            differing += !alike(seen.bits[i], drawn.bits[i]);
        if (differing < fewest) {
            fewest = differing;
            name = icon.name;
        }
    }
    DeleteObject(background);
    ReleaseDC(nullptr, screen);
    return name;
}

bool has_button(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button != nullptr && IsWindowVisible(button);
}

// With name_icon, an icon is named as icon_name tells it.
std::string describe_box(HWND box, bool name_icon = false) {
    std::string buttons;
    if (has_button(box, IDOK))
        buttons += " OK";
    if (has_button(box, IDYES))
        buttons += " Yes";
    if (has_button(box, IDNO))
        buttons += " No";
    if (has_button(box, IDCANCEL))
        buttons += " Cancel";
    // The icon control is there in every box; only one with an icon has
    // a picture in it.
    HWND icon = GetDlgItem(box, kMessageIconId);
    DWORD_PTR picture = 0;
    if (icon != nullptr && IsWindowVisible(icon))
        SendMessageTimeoutA(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &picture);
    std::string icon_word = picture == 0 ? "noicon" : name_icon ? icon_name(icon) : "icon";
    HWND text = message_text_control(box);
    return "box caption " + shown(window_text(box)) + " text " +
           shown(text ? window_text(text) : "") + " buttons" + buttons + " " + icon_word;
}

void need_running(const char* step) {
    if (!running())
        fail(std::string(step) + ": the program is not running");
}

void wait_for_dialog() {
    need_running("dialog");
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout_ms) {
        HWND box = look();
        if (box != nullptr)
            fail("dialog: a message box came first: " + describe_box(box));
        if (dialog != nullptr) {
            RECT window, client;
            GetWindowRect(dialog, &window);
            GetClientRect(dialog, &client);
            char size[128];
            std::snprintf(size, sizeof size, ", %ld x %ld, client %ld x %ld, style %08lx",
                          window.right - window.left, window.bottom - window.top, client.right,
                          client.bottom, GetWindowLongA(dialog, GWL_STYLE));
            ok("dialog " + shown(window_text(dialog)) + size);
            return;
        }
        if (!running())
            fail("dialog: the program ended first");
        Sleep(20);
    }
    fail("dialog: none after " + std::to_string(timeout_ms) + " ms");
}

// The id of a control named in a step.
int control_id(const std::string& step, const std::string& name) {
    std::string names;
    for (const Name& control : kControls) {
        if (name == control.name)
            return control.id;
        names += std::string(" ") + control.name;
    }
    fail(step + ": no control " + shown(name) + "; the controls are" + names);
}

HWND control(const std::string& step, const std::string& name) {
    if (dialog == nullptr || !IsWindow(dialog))
        fail(step + ": no dialog");
    int id = control_id(step, name);
    HWND window = GetDlgItem(dialog, id);
    if (window == nullptr)
        fail(step + ": the dialog has no control " + name + " (" + std::to_string(id) + ")");
    return window;
}

// Waits for a message box of the program; expected names it in failures.
HWND wait_box(const std::string& step, const std::string& expected) {
    DWORD start = GetTickCount();
    HWND box = nullptr;
    while (box == nullptr) {
        if (!running())
            fail(step + ": the program ended without a box (expected " + shown(expected) + ")");
        if (GetTickCount() - start > timeout_ms)
            fail(step + ": none after " + std::to_string(timeout_ms) + " ms (expected " +
                 shown(expected) + ")");
        box = look();
        if (box == nullptr)
            Sleep(20);
    }
    Sleep(50);  // let the box finish laying itself out
    return box;
}

void answer_box(const std::vector<std::string>& words) {
    if (words.size() != 6)
        fail("box: needs CAPTION TEXT BUTTONS ICON ANSWER");
    HWND box = wait_box("box", words[2]);
    bool name_icon = words[4] != "icon" && words[4] != "noicon";
    std::string wanted_buttons = words[3] == "ok" ? " OK" : words[3] == "yesno" ? " Yes No" : "?";
    std::string expected = "box caption " + shown(words[1]) + " text " + shown(words[2]) +
                           " buttons" + wanted_buttons + " " + words[4];
    // A box still drawing itself shows no icon yet: it is looked at again.
    std::string seen = describe_box(box, name_icon);
    for (DWORD start = GetTickCount(); seen != expected && GetTickCount() - start < 2000;) {
        Sleep(100);
        seen = describe_box(box, name_icon);
    }
    if (seen != expected)
        fail("saw      " + seen + "\n     expected " + expected);

    int id = words[5] == "ok" ? IDOK : words[5] == "yes" ? IDYES : words[5] == "no" ? IDNO : 0;
    if (id == 0 || !has_button(box, id))
        fail("box: cannot answer " + words[5]);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    DWORD start = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box)) {
        if (GetTickCount() - start > timeout_ms)
            fail("box: still open after the answer");
        Sleep(20);
    }
    ok(seen + ", answered " + words[5]);
}

void key(const std::string& name) {
    WPARAM vk = name == "escape" ? VK_ESCAPE : name == "enter" ? VK_RETURN : 0;
    if (vk == 0)
        fail("key: escape or enter");
    if (dialog == nullptr)
        fail("key: no dialog");
    // Keys go to the window with the keyboard focus, or to the active one.
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = dialog;
    std::string to = "the dialog";
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) {
        if (info.hwndFocus != nullptr) {
            target = info.hwndFocus;
            to = "control " + std::to_string(GetDlgCtrlID(target));
            for (const Name& control : kControls)
                if (control.id == GetDlgCtrlID(target))
                    to = control.name;
        } else if (info.hwndActive != nullptr) {
            target = info.hwndActive;
        }
    }
    UINT scan = MapVirtualKeyA(static_cast<UINT>(vk), 0);
    PostMessageA(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, vk, 1 | (scan << 16) | (3u << 30));
    ok("key " + name + " to " + to);
}

std::string describe_window(HWND window) {
    if (window == nullptr)
        return "none";
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return class_of(window) + " " + shown(window_text(window)) + " of process " +
           std::to_string(pid);
}

// A click as the user makes it: the pointer moved to the centre of the
// button, the left button pressed and let go there.  The system gives the
// input to the window under the pointer, and drops it when that window or
// its dialog is disabled.  Another window covering the point would take the
// click itself, so none may.
void mouse_click(const std::string& name) {
    HWND button = control("mouse", name);
    RECT rect;
    GetWindowRect(button, &rect);
    POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    HWND under = WindowFromPoint(centre);
    if (under == nullptr || GetAncestor(under, GA_ROOT) != dialog)
        fail("mouse: " + name + " is covered by " + describe_window(under));
    if (!SetCursorPos(centre.x, centre.y))
        fail("mouse: cannot move the pointer");
    INPUT input[2] = {};
    input[0].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].type = INPUT_MOUSE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    if (SendInput(2, input, sizeof input[0]) != 2)
        fail("mouse: SendInput failed (error " + std::to_string(GetLastError()) + ")");
    ok("mouse click on " + name + " at " + std::to_string(centre.x) + "," +
       std::to_string(centre.y) + (IsWindowEnabled(dialog) ? "" : ", dialog disabled"));
}

// The driver's own window for away: a static control, which needs no window
// procedure of the driver's.  Its messages are never read; nothing waits
// for them.
void go_away() {
    static HWND own = nullptr;
    if (own == nullptr)
        own = CreateWindowExA(0, "Static", "driver", WS_POPUP | WS_BORDER | WS_VISIBLE, 0, 0, 120,
                              40, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (own == nullptr)
        fail("away: cannot create a window");
    SetForegroundWindow(own);
    if (GetForegroundWindow() != own)
        fail("away: the driver's window is not the foreground window");
    ok("away: the driver's window is the foreground window");
}

void quiet(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        HWND box = look();
        if (box != nullptr)
            fail("quiet: " + describe_box(box));
        if (!running())
            fail("quiet: the program ended");
        if (dialog == nullptr)
            fail("quiet: the dialog closed");
        Sleep(20);
    }
    ok("quiet for " + std::to_string(ms) + " ms, dialog open");
}

void wait_exit(const std::string& expected) {
    if (!started)
        fail("exit: not started");
    DWORD start = GetTickCount();
    while (running()) {
        HWND box = look();
        if (box != nullptr)
            fail("exit: " + describe_box(box));
        if (GetTickCount() - start > timeout_ms)
            fail("exit: still running after " + std::to_string(timeout_ms) + " ms");
        Sleep(20);
    }
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    if (std::to_string(status) != expected)
        fail("exit status " + std::to_string(status) + ", expected " + expected);
    ok("exit status " + std::to_string(status));
}

std::string hklm_path(const std::string& key) {
    const std::string prefix = "HKLM\\";
    if (key.compare(0, prefix.size(), prefix) != 0)
        fail("registry keys start with HKLM\\: " + key);
    return key.substr(prefix.size());
}

bool key_exists(const std::string& key) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, hklm_path(key).c_str(), 0, KEY_READ, &handle) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

void save_shot(const std::string& file) {
    if (dialog == nullptr)
        fail("shot: no dialog");
    RECT rect;
    GetWindowRect(dialog, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    GdiFlush();
    DWORD stride = (width * 3 + 3) & ~3u;
    DWORD size = stride * height;
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + size;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), size);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (!out)
        fail("shot: cannot write " + file);
    ok("shot " + file + " (" + std::to_string(width) + " x " + std::to_string(height) + ")");
}

int number(const std::string& step, const std::string& text) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != 0)
        fail(step + ": not a number: " + text);
    return static_cast<int>(value);
}

void run_step(const std::vector<std::string>& w) {
    const std::string& step = w[0];
    auto need = [&](size_t count) {
        if (w.size() != count + 1)
            fail(step + ": needs " + std::to_string(count) + " argument(s)");
    };
    if (step == "regadd") {
        need(1);
        HKEY handle;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, hklm_path(w[1]).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &handle, nullptr) != ERROR_SUCCESS)
            fail("regadd: cannot create " + w[1]);
        RegCloseKey(handle);
        ok("regadd " + w[1]);
    } else if (step == "regexists" || step == "reggone") {
        need(1);
        bool exists = key_exists(w[1]);
        if (exists != (step == "regexists"))
            fail(step + ": " + w[1] + (exists ? " exists" : " does not exist"));
        ok(step + " " + w[1]);
    } else if (step == "start") {
        need(0);
        put_back();
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string command = "\"" + program + "\"";
        if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process))
            fail("start: cannot start " + program + " (error " +
                 std::to_string(GetLastError()) + ")");
        add_copy();
        ok("start " + program + (copies.size() > 1 ? ", copy " + std::to_string(current + 1) : ""));
    } else if (step == "attach") {
        need(0);
        put_back();
        HWND found = nullptr;
        DWORD start = GetTickCount();
        while ((found = FindWindowA("#32770", kDialogTitle)) == nullptr) {
            if (GetTickCount() - start > timeout_ms)
                fail("attach: no dialog " + shown(kDialogTitle));
            Sleep(100);
        }
        GetWindowThreadProcessId(found, &process.dwProcessId);
        process.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION |
                                           PROCESS_TERMINATE, FALSE, process.dwProcessId);
        if (process.hProcess == nullptr)
            fail("attach: cannot open process " + std::to_string(process.dwProcessId));
        add_copy();
        ok("attach process " + std::to_string(process.dwProcessId));
    } else if (step == "copy") {
        need(1);
        int n = number(step, w[1]);
        if (n < 1 || static_cast<size_t>(n) > copies.size())
            fail("copy: no copy " + w[1] + " was started");
        put_back();
        current = static_cast<size_t>(n - 1);
        process = copies[current].process;
        dialog = copies[current].dialog;
        dialog_seen = copies[current].dialog_seen;
        ok("copy " + w[1] + ", process " + std::to_string(process.dwProcessId));
    } else if (step == "dialog") {
        need(0);
        wait_for_dialog();
    } else if (step == "check") {
        need(2);
        LRESULT state = SendMessageA(control(step, w[1]), BM_GETCHECK, 0, 0);
        if (state != number(step, w[2]))
            fail("check " + w[1] + ": state " + std::to_string(state) + ", expected " + w[2]);
        ok("check " + w[1] + " is " + std::to_string(state));
    } else if (step == "set") {
        need(2);
        SendMessageA(control(step, w[1]), BM_SETCHECK, number(step, w[2]), 0);
        ok("set " + w[1] + " to " + w[2]);
    } else if (step == "click") {
        need(1);
        HWND button = control(step, w[1]);
        int id = GetDlgCtrlID(button);
        // Posted, not sent: the command may open a box and wait for it.
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        ok("click " + w[1] + " " + shown(window_text(button)));
    } else if (step == "command") {
        need(1);
        if (dialog == nullptr)
            fail("command: no dialog");
        int id = w[1] == "cancel" ? IDCANCEL : control_id(step, w[1]);
        PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0);
        ok("command " + w[1]);
    } else if (step == "press") {
        need(1);
        HWND button = control(step, w[1]);
        PostMessageA(button, BM_CLICK, 0, 0);
        ok("press " + w[1] + " " + shown(window_text(button)));
    } else if (step == "key") {
        need(1);
        key(w[1]);
    } else if (step == "box") {
        answer_box(w);
    } else if (step == "await") {
        need(1);
        HWND box = wait_box(step, w[1]);
        if (window_text(box) != w[1])
            fail("await: " + describe_box(box));
        ok("await " + describe_box(box) + ", left open");
    } else if (step == "enabled") {
        need(1);
        if (dialog == nullptr || !IsWindow(dialog))
            fail("enabled: no dialog");
        // A box that was answered enables the dialog again as it returns,
        // which under load can take a while: the state is waited for.
        int wanted = number(step, w[1]);
        DWORD start = GetTickCount();
        int state = IsWindowEnabled(dialog) ? 1 : 0;
        while (state != wanted && GetTickCount() - start < timeout_ms) {
            Sleep(20);
            state = IsWindowEnabled(dialog) ? 1 : 0;
        }
        if (state != wanted)
            fail("enabled: the dialog's state is " + std::to_string(state) + ", expected " + w[1]);
        ok("enabled: the dialog's state is " + std::to_string(state) + " after " +
           std::to_string(GetTickCount() - start) + " ms");
    } else if (step == "away") {
        need(0);
        go_away();
    } else if (step == "foreground") {
        need(0);
        if (dialog == nullptr || !IsWindow(dialog))
            fail("foreground: no dialog");
        HWND front = GetForegroundWindow();
        if (front != dialog)
            fail("foreground: " + describe_window(front));
        ok("foreground: the dialog");
    } else if (step == "mouse") {
        need(1);
        mouse_click(w[1]);
    } else if (step == "quiet") {
        need(1);
        quiet(static_cast<DWORD>(number(step, w[1])));
    } else if (step == "exit") {
        need(1);
        wait_exit(w[1]);
    } else if (step == "nodialog") {
        need(0);
        if (dialog_seen)
            fail("nodialog: the dialog was shown");
        ok("nodialog");
    } else if (step == "shot") {
        need(1);
        save_shot(w[1]);
    } else if (step == "sleep") {
        need(1);
        Sleep(static_cast<DWORD>(number(step, w[1])));
        ok("sleep " + w[1]);
    } else {
        fail("unknown step " + step);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: driver PROGRAM SCRIPT\n");
        return 2;
    }
    program = argv[1];
    if (const char* t = std::getenv("TAMRIX_DRIVER_TIMEOUT_MS"))
        timeout_ms = static_cast<DWORD>(std::atoi(t));
    std::ifstream script(argv[2]);
    if (!script) {
        std::fprintf(stderr, "driver: cannot read %s\n", argv[2]);
        return 2;
    }
    std::string line;
    while (std::getline(script, line)) {
        std::vector<std::string> words = split(line);
        if (words.empty() || words[0][0] == '#')
            continue;
        run_step(words);
    }
    put_back();
    for (size_t i = 0; i < copies.size(); ++i)
        if (still_active(copies[i].process))
            fail("the script ended with copy " + std::to_string(i + 1) +
                 " of the program still running");
    return 0;
}
