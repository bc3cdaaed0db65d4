// The dialog and its message boxes in a terminal (ncurses).
//
// The screen shows what dialog 102 shows: the title, the two pictures (drawn
// in characters), the explanatory text with its line break, "Choice:", the
// two check boxes and the three buttons.  Keys stand in for the mouse as in
// any Windows dialog: Tab and the arrow keys move the focus, Space toggles a
// check box or presses a button, Enter presses the focused push button or
// else the default one, Install, and Escape sends the cancel command.  A
// mouse click works where the terminal reports one.  What each press does is
// the dialog procedure's business; this file only shows and sends.
//
// Message boxes are modal here: while one is open, the dialog under it takes
// no keys, so no second command can start before the first has returned.
#include "terminal_dialog.h"

#include <ctype.h>
#include <curses.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "../base/interruptions.h"
#include "../base/split_at.h"
#include "../resources/dialog_ids.h"
#include "../ui/ui.h"
#include "front_end.h"
#include "message_lines.h"
#include "voice.h"

namespace {

const char kTitle[] = "Tamrix.exe R1.01";
const char kExplanation[] =
    "This Windows'95 utility applies to any motherboard which is based on following chipset:\n"
    "    Intel 430TX, Intel 440LX, SIS 5571, SIS 5582.";
const char kChoice[] = "Choice:";

const int kKeyEscape = 27;
const int kKeyInterrupt = 3;  // Ctrl-C, read as a key in raw mode

// The dialog's controls in tab order, as the template lists them.
struct control {
    int id;
    const char* text;
    bool check_box;
};
const control kControls[] = {
    {IDC_CHIPSETS, "Chipsets", true},
    {IDC_USB, "USB controller", true},
    {IDC_INSTALL, "Install", false},
    {IDC_UNINSTALL, "Uninstall", false},
    {IDC_EXIT, "Exit", false},
};
const int kControlCount = 5;
const int kDefaultButton = 2;  // Install
const int kNoFocus = -1;

// Size of the dialog on the screen, in character cells.
const int kDialogWidth = 72;
const int kTextWidth = kDialogWidth - 8;  // inside the text's frame
const int kDialogBaseHeight = 14;          // all but the explanation's lines

// A place on the screen that a mouse click can hit.
struct hit_area {
    int y, x, width;
    int index;  // control or button index
};

// A box that the last command showed, for the lines printed at the end.
struct shown_box {
    std::string text, caption;
    box_icon icon;
    std::string answer;  // "Yes" or "No" after a question; empty after OK
};

bool curses_on = false;                     // curses has the terminal
std::vector<shown_box> last_command_boxes;  // printed when the terminal is given back

// The dialog's state, as the seam's dialog calls see it.
struct dialog_state {
    platform_dialog_procedure procedure;
    int chipsets_check;  // BM_GETCHECK of IDC_CHIPSETS
    int usb_check;       // BM_GETCHECK of IDC_USB
    bool ended;          // platform_end_dialog was called
    intptr_t result;
};
dialog_state running_dialog;  // the dialog being run (there is one)
// Its window handle as the dialog procedure gets it: any address will do.
platform_window const kDialogWindow = &running_dialog;

int* check_of(int control) {
    if (control == IDC_CHIPSETS) return &running_dialog.chipsets_check;
    if (control == IDC_USB) return &running_dialog.usb_check;
    return nullptr;
}

void start_curses() {
    if (curses_on) return;
    if (newterm(nullptr, stdout, stdin) == nullptr) {
        tell_on_line(std::string("this terminal cannot show the dialog (TERM=") +
                     (getenv("TERM") ? getenv("TERM") : "") + ")");
        front_end_exit(exit_usage);
    }
    curses_on = true;
    raw();  // Ctrl-C arrives as a key, so the terminal is always given back
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    mousemask(BUTTON1_CLICKED | BUTTON1_RELEASED, nullptr);
}


// ---- drawing -----------------------------------------------------------------

void put(int y, int x, const std::string& text, attr_t attributes = A_NORMAL) {
    if (y < 0 || y >= LINES) return;
    for (size_t i = 0; i < text.size(); i++) {
        int column = x + (int)i;
        if (column < 0 || column >= COLS) continue;
        mvaddch(y, column, (chtype)(unsigned char)text[i] | attributes);
    }
}

// A frame of plain characters, which every terminal shows alike; `title`,
// when given, stands centred in its top line.
void frame(int y, int x, int height, int width, const char* title) {
    for (int row = y; row < y + height; row++) {
        bool edge = row == y || row == y + height - 1;
        std::string line(width, edge ? '-' : ' ');
        line[0] = line[width - 1] = edge ? '+' : '|';
        put(row, x, line);
    }
    if (title != nullptr) {
        std::string shown = std::string(" ") + title + " ";
        put(y, x + (width - (int)shown.size()) / 2, shown, A_BOLD);
    }
}

// Breaks a text into lines of at most `width`: at its own line breaks, and
// at the last blank that fits.  Blanks that start a line of the text stay.
std::vector<std::string> wrap(const char* text, int width) {
    std::vector<std::string> lines;
    for (std::string paragraph : split_at(text, '\n')) {
        while ((int)paragraph.size() > width) {
            size_t cut = paragraph.rfind(' ', width);
            size_t first_word = paragraph.find_first_not_of(' ');
            if (cut == std::string::npos || cut <= first_word) {
                lines.push_back(paragraph.substr(0, width));
                paragraph = paragraph.substr(width);
            } else {
                lines.push_back(paragraph.substr(0, cut));
                paragraph = paragraph.substr(cut + 1);
            }
        }
        lines.push_back(paragraph);
    }
    return lines;
}

// A push button: "< Text >" for the one that Enter presses, "[ Text ]" else.
std::string button_face(const char* text, bool enter_presses) {
    return std::string(enter_presses ? "< " : "[ ") + text + (enter_presses ? " >" : " ]");
}

int hit(const std::vector<hit_area>& areas, const MEVENT& event) {
    for (const hit_area& area : areas)
        if (event.y == area.y && event.x >= area.x && event.x < area.x + area.width)
            return area.index;
    return kNoFocus;
}

bool mouse_click(MEVENT* event) {
    return getmouse(event) == OK && (event->bstate & (BUTTON1_CLICKED | BUTTON1_RELEASED)) != 0;
}

// ---- the keys ------------------------------------------------------------------

// A screen of controls that takes the keys: the dialog, or a message box
// over it.  The key loop moves the focus through the `count` controls in
// tab order and hands everything else to the screen.
class key_screen {
  public:
    int count = 0;
    int focus = kNoFocus;
    std::vector<hit_area> hits;  // where the controls are, as last drawn

    // Draws the whole screen and fills `hits`.
    virtual void draw() = 0;
    // The terminal size the screen needs, in character cells.
    virtual void needed(int* width, int* height) const = 0;
    // Space on the focused control, or a click on one.
    virtual void press(int index) = 0;
    virtual void enter() = 0;
    virtual void escape() = 0;
    // Any other key.
    virtual void letter(int key) { (void)key; }
    // The screen has closed.
    virtual bool done() const = 0;

  protected:
    ~key_screen() = default;
};

// In a terminal too small for the screen, a note says how large it must
// be, and only a change of size (or the end of the program) is taken: a key
// pressed on controls the user cannot see does nothing.
bool too_small(const key_screen& screen) {
    int width, height;
    screen.needed(&width, &height);
    if (COLS >= width && LINES >= height) return false;
    erase();
    std::string note = "Tamrix needs a terminal of at least " + std::to_string(width) + " x " +
                       std::to_string(height) + " characters; this one is " +
                       std::to_string(COLS) + " x " + std::to_string(LINES) + ".  Make it larger.";
    std::vector<std::string> lines = wrap(note.c_str(), COLS > 1 ? COLS - 1 : 1);
    for (size_t i = 0; i < lines.size(); i++) put((int)i, 0, lines[i]);
    curs_set(0);
    refresh();
    return true;
}

// The next key, or a change of the terminal's size; ERR when the terminal
// has gone away.  A key that curses holds already is taken first; only
// then does the program wait for the terminal, in a wait that a signal
// ends the program from even when it comes just before the wait begins.
int next_key() {
    for (;;) {
        nodelay(stdscr, TRUE);
        int key = getch();
        nodelay(stdscr, FALSE);
        if (key != ERR) return key;
        input_wait waited = interruptions_wait_for_input(STDIN_FILENO);
        if (waited == input_wait_failed) return ERR;
        if (waited == input_ready) {
            errno = 0;     // no key where input was ready: the end of the input
            return getch();  // which holds the whole of a key sequence, or ERR
        }
    }
}

void run_keys(key_screen* screen) {
    while (!screen->done()) {
        bool hidden = too_small(*screen);
        if (!hidden) {
            erase();
            screen->draw();
            refresh();
        }
        int key = next_key();
        if (hidden && key != kKeyInterrupt && key != ERR) continue;
        switch (key) {
            case '\t': case KEY_RIGHT: case KEY_DOWN:
                screen->focus = (screen->focus + 1) % screen->count;
                break;
            case KEY_BTAB: case KEY_LEFT: case KEY_UP:  // from no focus, to the last
                screen->focus = screen->focus <= 0 ? screen->count - 1 : screen->focus - 1;
                break;
            case ' ':
                if (screen->focus != kNoFocus) screen->press(screen->focus);
                break;
            case '\r': case '\n': case KEY_ENTER:
                screen->enter();
                break;
            case kKeyEscape:
                screen->escape();
                break;
            case kKeyInterrupt:
                end_as_interrupted(SIGINT);
            case ERR:  // a signal came, or no more keys: the terminal has gone away
                if (errno != EINTR) end_as_interrupted(SIGHUP);
                interruptions_check();
                break;
            case KEY_MOUSE: {
                MEVENT event;
                if (!mouse_click(&event)) break;
                int index = hit(screen->hits, event);
                if (index != kNoFocus) screen->press(index);
                break;
            }
            default:
                screen->letter(key);
                break;
        }
    }
}

// ---- the dialog ----------------------------------------------------------------

bool is_button(int index) { return index >= 0 && !kControls[index].check_box; }

int check_state(int id) { return terminal_get_check(kDialogWindow, id); }

void send_command(uintptr_t command) {
    last_command_boxes.clear();
    running_dialog.procedure(kDialogWindow, kWmCommand, command, 0);
}

// The dialog's controls; what they do is the dialog procedure's business.
class dialog_screen : public key_screen {
  public:
    dialog_screen() { count = kControlCount; }

    // The push button that Enter presses: the focused one, else the default.
    int enter_target() const { return is_button(focus) ? focus : kDefaultButton; }

    void draw() override;
    void needed(int* width, int* height) const override {
        *width = kDialogWidth;
        *height = kDialogBaseHeight + (int)wrap(kExplanation, kTextWidth).size();
    }

    // A click on a control, by the mouse or by Space.
    void press(int index) override {
        focus = index;
        const control& c = kControls[index];
        if (c.check_box) {  // an auto check box toggles itself, then tells
            terminal_set_check(kDialogWindow, c.id, check_state(c.id) == 1 ? 0 : 1);
        }
        send_command((uintptr_t)c.id);  // BN_CLICKED is 0: the id alone
    }

    void enter() override { send_command((uintptr_t)kControls[enter_target()].id); }
    void escape() override { send_command(kCancelCommand); }
    bool done() const override { return running_dialog.ended; }
};

dialog_screen dialog;       // the dialog on the screen, and its focus
bool dialog_shown = false;  // the dialog is up, under any message box

void dialog_screen::draw() {
    std::vector<std::string> text = wrap(kExplanation, kTextWidth);
    int height = kDialogBaseHeight + (int)text.size();
    int top = LINES > height ? (LINES - height) / 2 : 0;
    int left = COLS > kDialogWidth ? (COLS - kDialogWidth) / 2 : 0;
    hits.clear();
    frame(top, left, height, kDialogWidth, kTitle);

    // The logo, a chip, and the banner with the program's name.
    put(top + 2, left + 4, " |||||| ");
    put(top + 3, left + 4, "-[TMRX]-");
    put(top + 4, left + 4, " |||||| ");
    put(top + 2, left + 22, "T  A  M  R  I  X", A_BOLD);
    put(top + 4, left + 22, "chipset and USB setup files for Windows 95");

    // The explanatory text, in a frame of its own.
    frame(top + 6, left + 2, (int)text.size() + 2, kDialogWidth - 4, nullptr);
    for (size_t i = 0; i < text.size(); i++) put(top + 7 + (int)i, left + 4, text[i]);

    int row = top + 9 + (int)text.size();
    put(row, left + 3, kChoice);
    int cursor_y = -1, cursor_x = -1;
    int button_x = left + 30;
    for (int i = 0; i < kControlCount; i++) {
        const control& c = kControls[i];
        attr_t look = i == focus ? A_REVERSE : A_NORMAL;
        std::string face;
        int y, x;
        if (c.check_box) {
            int state = check_state(c.id);
            face = std::string(state == 1 ? "[X] " : state == 2 ? "[-] " : "[ ] ") + c.text;
            y = row + 1 + i;
            x = left + 3;
        } else {
            face = button_face(c.text, i == enter_target());
            y = row + 1;
            x = button_x;
            button_x += (int)face.size() + 2;
        }
        put(y, x, face, look);
        hits.push_back({y, x, (int)face.size(), i});
        if (i == focus) cursor_y = y, cursor_x = x + 1;
    }
    if (cursor_y >= 0 && cursor_y < LINES && cursor_x < COLS) {
        curs_set(1);
        move(cursor_y, cursor_x);
    } else {
        curs_set(0);
    }
}

// ---- message boxes -------------------------------------------------------------

const char* icon_mark(box_icon icon) {
    switch (icon) {
        case icon_error: return "[X]";
        case icon_question: return "[?]";
        case icon_information: return "[i]";
        default: return nullptr;
    }
}

struct box_button {
    const char* text;
    box_answer answer;
    char letter;  // presses it, in either case
};

// Where a box's parts go, for a terminal `columns` wide.
struct box_layout {
    const char* mark;
    int mark_width;
    std::vector<std::string> lines;
    int buttons_width, width, height;
};

box_layout lay_out_box(const char* text, const char* caption, box_icon icon,
                       const std::vector<box_button>& buttons, int columns) {
    box_layout box;
    box.mark = icon_mark(icon);
    box.mark_width = box.mark != nullptr ? 4 : 0;
    int widest_text = columns - 6 - box.mark_width;
    if (widest_text > 70) widest_text = 70;
    if (widest_text < 20) widest_text = 20;
    box.lines = wrap(text, widest_text);
    int text_width = 0;
    for (const std::string& line : box.lines)
        if ((int)line.size() > text_width) text_width = (int)line.size();
    box.buttons_width = 0;
    for (const box_button& b : buttons) box.buttons_width += (int)strlen(b.text) + 4 + 3;
    box.buttons_width -= 3;
    box.width = text_width + box.mark_width + 4;
    if (box.width < box.buttons_width + 4) box.width = box.buttons_width + 4;
    if (box.width < (int)strlen(caption) + 6) box.width = (int)strlen(caption) + 6;
    box.height = (int)box.lines.size() + 6;
    return box;
}

// Draws the box centred over whatever is under it; fills `hits`.
void draw_box(const char* text, const char* caption, box_icon icon,
              const std::vector<box_button>& buttons, int focus, std::vector<hit_area>* hits) {
    box_layout box = lay_out_box(text, caption, icon, buttons, COLS);
    int top = LINES > box.height ? (LINES - box.height) / 2 : 0;
    int left = COLS > box.width ? (COLS - box.width) / 2 : 0;

    frame(top, left, box.height, box.width, caption);
    if (box.mark != nullptr) put(top + 2, left + 2, box.mark, A_BOLD);
    for (size_t i = 0; i < box.lines.size(); i++)
        put(top + 2 + (int)i, left + 2 + box.mark_width, box.lines[i]);

    hits->clear();
    int y = top + box.height - 3;
    int x = left + (box.width - box.buttons_width) / 2;
    for (size_t i = 0; i < buttons.size(); i++) {
        std::string face = button_face(buttons[i].text, (int)i == focus);
        put(y, x, face, (int)i == focus ? A_REVERSE : A_NORMAL);
        hits->push_back({y, x, (int)face.size(), (int)i});
        if ((int)i == focus) {
            curs_set(1);
            move(y, x + 1);
        }
        x += (int)face.size() + 3;
    }
}

// A message box: Enter and Space press the focused button, a letter its
// button, and Escape closes a box that has OK alone.
class box_screen : public key_screen {
  public:
    box_screen(const char* text, const char* caption, box_icon icon, box_buttons kind)
        : text_(text), caption_(caption), icon_(icon), kind_(kind) {
        static const box_button kYesNo[] = {{"Yes", answer_yes, 'y'}, {"No", answer_no, 'n'}};
        static const box_button kOk[] = {{"OK", answer_ok, 'o'}};
        buttons_.assign(kind == buttons_yes_no ? kYesNo : kOk,
                        kind == buttons_yes_no ? kYesNo + 2 : kOk + 1);
        count = (int)buttons_.size();
        focus = 0;
    }

    box_answer answer() const { return answer_; }

    void draw() override {
        if (dialog_shown) dialog.draw();
        draw_box(text_, caption_, icon_, buttons_, focus, &hits);
    }
    // Room for the box at its widest, and for the dialog under it.
    void needed(int* width, int* height) const override {
        box_layout box = lay_out_box(text_, caption_, icon_, buttons_, 1000);
        *width = box.width;
        *height = box.height;
        if (!dialog_shown) return;
        int dialog_width, dialog_height;
        dialog.needed(&dialog_width, &dialog_height);
        if (*width < dialog_width) *width = dialog_width;
        if (*height < dialog_height) *height = dialog_height;
    }
    void press(int index) override { close(buttons_[index].answer); }
    void enter() override { press(focus); }
    void escape() override {  // a box without a No button closes on Escape
        if (kind_ == buttons_ok) close(answer_ok);
    }
    void letter(int key) override {
        for (const box_button& button : buttons_)
            if (key == button.letter || key == toupper(button.letter)) close(button.answer);
    }
    bool done() const override { return closed_; }

  private:
    void close(box_answer answer) {
        answer_ = answer;
        closed_ = true;
    }

    const char* text_;
    const char* caption_;
    box_icon icon_;
    box_buttons kind_;
    std::vector<box_button> buttons_;
    bool closed_ = false;
    box_answer answer_ = answer_ok;
};

}  // namespace

box_answer terminal_message_box(const char* text, const char* caption, box_icon icon,
                                box_buttons buttons) {
    start_curses();
    box_screen box(text, caption, icon, buttons);
    run_keys(&box);
    box_answer answer = box.answer();
    const char* said = buttons == buttons_yes_no ? (answer == answer_yes ? "Yes" : "No") : "";
    last_command_boxes.push_back({text, caption, icon, said});
    return answer;
}

intptr_t terminal_run_dialog(int template_id, platform_dialog_procedure procedure) {
    (void)template_id;  // the terminal knows one dialog
    running_dialog = dialog_state{procedure, 0, 0, false, 0};
    start_curses();
    // The dialog procedure says whether the system should set the focus.
    bool set_focus = procedure(kDialogWindow, kWmInitDialog, 0, 0) != 0;
    dialog.focus = set_focus ? 0 : kNoFocus;
    dialog_shown = true;
    run_keys(&dialog);
    dialog_shown = false;
    return running_dialog.result;
}

void terminal_end_dialog(platform_window, intptr_t result) {
    running_dialog.ended = true;
    running_dialog.result = result;
}

int terminal_get_check(platform_window, int control) {
    int* check = check_of(control);
    return check != nullptr ? *check : 0;
}

void terminal_set_check(platform_window, int control, int state) {
    int* check = check_of(control);
    if (check != nullptr) *check = state;
}

void terminal_close() {
    if (!curses_on) return;
    endwin();
    curses_on = false;
    // The screen that showed them is gone: the last command's boxes stay on
    // the terminal, as the command line prints them.
    for (const shown_box& box : last_command_boxes)
        print_box_line(box.text.c_str(), box.caption.c_str(), box.icon,
                       box.answer.empty() ? nullptr : box.answer.c_str());
}
