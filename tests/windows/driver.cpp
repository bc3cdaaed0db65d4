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
//   start                 start PROGRAM
//   attach                take a running program, found by its dialog
//                         (PROGRAM is then not used)
//   dialog                wait for the dialog "Tamrix.exe R1.01"
//   check BOX STATE       BM_GETCHECK of check box BOX must give STATE
//   set BOX STATE         BM_SETCHECK on check box BOX
//   click BUTTON          WM_COMMAND from BUTTON, as its click sends it
//   press BUTTON          BM_CLICK on BUTTON
//   command NAME          WM_COMMAND with NAME's id as its whole first
//                         parameter (NAME may also be cancel, IDCANCEL)
//   key escape|enter      a key press sent to the window with the focus
//   box CAPTION TEXT BUTTONS ICON ANSWER
//                         wait for a message box and answer it: BUTTONS is
//                         ok or yesno, ICON is icon or noicon, ANSWER is
//                         ok, yes or no
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
// status 1 (the program, if still running, is ended).
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
    if (started) {
        DWORD status = 0;
        if (GetExitCodeProcess(process.hProcess, &status) && status == STILL_ACTIVE)
            TerminateProcess(process.hProcess, 99);
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
    DWORD status = 0;
    return started && GetExitCodeProcess(process.hProcess, &status) && status == STILL_ACTIVE;
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

bool has_button(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    return button != nullptr && IsWindowVisible(button);
}

std::string describe_box(HWND box) {
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
    bool has_icon = picture != 0;
    HWND text = message_text_control(box);
    return "box caption " + shown(window_text(box)) + " text " +
           shown(text ? window_text(text) : "") + " buttons" + buttons +
           (has_icon ? " icon" : " noicon");
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

void answer_box(const std::vector<std::string>& words) {
    if (words.size() != 6)
        fail("box: needs CAPTION TEXT BUTTONS ICON ANSWER");
    DWORD start = GetTickCount();
    HWND box = nullptr;
    while (box == nullptr) {
        if (!running())
            fail("box: the program ended without a box (expected " + shown(words[2]) + ")");
        if (GetTickCount() - start > timeout_ms)
            fail("box: none after " + std::to_string(timeout_ms) + " ms (expected " +
                 shown(words[2]) + ")");
        box = look();
        if (box == nullptr)
            Sleep(20);
    }
    Sleep(50);  // let the box finish laying itself out
    std::string seen = describe_box(box);
    std::string wanted_buttons = words[3] == "ok" ? " OK" : words[3] == "yesno" ? " Yes No" : "?";
    std::string expected = "box caption " + shown(words[1]) + " text " + shown(words[2]) +
                           " buttons" + wanted_buttons + " " + words[4];
    if (seen != expected)
        fail("saw      " + seen + "\n     expected " + expected);

    int id = words[5] == "ok" ? IDOK : words[5] == "yes" ? IDYES : words[5] == "no" ? IDNO : 0;
    if (id == 0 || !has_button(box, id))
        fail("box: cannot answer " + words[5]);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
    start = GetTickCount();
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
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string command = "\"" + program + "\"";
        if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process))
            fail("start: cannot start " + program + " (error " +
                 std::to_string(GetLastError()) + ")");
        started = true;
        dialog = nullptr;
        dialog_seen = false;
        ok("start " + program);
    } else if (step == "attach") {
        need(0);
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
        started = true;
        dialog = nullptr;
        dialog_seen = false;
        ok("attach process " + std::to_string(process.dwProcessId));
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
    if (running())
        fail("the script ended with the program still running");
    return 0;
}
