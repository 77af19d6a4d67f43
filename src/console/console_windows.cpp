// The console on Windows. On a console, each line goes out as UTF-16 in one
// WriteConsoleW call and answers come in as UTF-16 through ReadConsoleW (with
// the console's own line editing and echo), so the letters are right on every
// code page and one typed character is one answer. Redirected to a file or a
// pipe, the C runtime's text-mode streams carry code page 850 bytes, a line
// end as CR LF on the way out and as LF on the way in. The key waits use
// _getch.
#include <conio.h>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "console.hpp"
#include "cp850.hpp"

namespace {

bool started;
bool out_bad;
bool in_failed;
HANDLE out_console; // standard output, when it is a console
HANDLE in_console;  // standard input, when it is a console

char out_buffer[1024]; // standard output's buffer, when it is not a console
wchar_t line[512];     // the line being written to the console
DWORD line_len;
wchar_t typed[512]; // the console input read and not yet taken
DWORD typed_pos, typed_len;

HANDLE console_of(DWORD std_handle)
{
    HANDLE h = GetStdHandle(std_handle);
    DWORD mode;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) ? h : nullptr;
}

// Sets the streams up before their first use: text mode, and a buffer so
// that each line reaches a file or pipe in one write.
void start()
{
    if (started)
        return;
    started = true;
    _setmode(_fileno(stdout), _O_TEXT);
    _setmode(_fileno(stdin), _O_TEXT);
    setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
    out_console = console_of(STD_OUTPUT_HANDLE);
    in_console = console_of(STD_INPUT_HANDLE);
}

// Hands the gathered line to the console.
void flush_line()
{
    DWORD done = 0;
    if (line_len > 0 &&
        (!WriteConsoleW(out_console, line, line_len, &done, nullptr) || done != line_len))
        out_bad = true;
    line_len = 0;
}

void add_to_line(wchar_t ch)
{
    if (line_len == sizeof line / sizeof line[0])
        flush_line();
    line[line_len++] = ch;
}

// One code page 850 byte, to the console or the stream.
void put(unsigned char b)
{
    if (out_console)
        add_to_line(static_cast<wchar_t>(cp850::code_point(b)));
    else if (std::putc(b, stdout) == EOF)
        out_bad = true;
}

void flush()
{
    start();
    if (out_console)
        flush_line();
    else if (std::fflush(stdout) == EOF)
        out_bad = true;
}

bool is_space(int b)
{
    return b == ' ' || (b >= '\t' && b <= '\r');
}

// The next UTF-16 unit typed on the console, -1 once the input has ended.
// Ctrl-Z ends it, as it does for a text-mode stream.
int next_typed()
{
    if (typed_pos == typed_len) {
        typed_pos = typed_len = 0;
        if (!ReadConsoleW(in_console, typed, sizeof typed / sizeof typed[0], &typed_len, nullptr))
            typed_len = 0;
    }
    if (typed_pos == typed_len || typed[typed_pos] == 0x1A)
        return -1;
    return typed[typed_pos++];
}

// The next character of the answer input: as typed on a console (a character
// outside code page 850 as '?'), or a byte of the stream; -1 at its end.
int next_answer_char()
{
    if (!in_console)
        return std::getchar();
    int u = next_typed();
    if (u < 0x80)
        return u;
    if (u >= 0xD800 && u <= 0xDBFF) { // the first half of a character beyond U+FFFF
        if (typed_pos < typed_len && typed[typed_pos] >= 0xDC00 && typed[typed_pos] <= 0xDFFF)
            typed_pos++;
        return '?';
    }
    unsigned char b = cp850::from_code_point(static_cast<unsigned>(u));
    return b ? b : '?';
}

} // namespace

void write_text(const char *s)
{
    start();
    if (out_bad)
        return;
    if (!out_console) {
        if (std::fputs(s, stdout) == EOF)
            out_bad = true;
        return;
    }
    while (*s)
        put(static_cast<unsigned char>(*s++));
}

void write_char(char ch)
{
    start();
    if (!out_bad)
        put(static_cast<unsigned char>(ch));
}

void write_int(int v)
{
    char digits[12];
    std::snprintf(digits, sizeof digits, "%d", v);
    write_text(digits);
}

void end_line()
{
    start();
    if (out_console) {
        add_to_line(L'\r');
        add_to_line(L'\n');
    } else {
        std::putc('\n', stdout);
    }
    flush();
}

bool output_ok()
{
    return !out_bad;
}

bool read_answer(char &slot)
{
    if (in_failed)
        return false;
    flush();
    int b;
    while (is_space(b = next_answer_char()))
        ;
    if (b == EOF) {
        in_failed = true;
        return false;
    }
    slot = static_cast<char>(b);
    return true;
}

int wait_key()
{
    // Without a console there is no keyboard to wait for.
    HANDLE keyboard =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (keyboard == INVALID_HANDLE_VALUE)
        return -1;
    DWORD mode;
    bool console = GetConsoleMode(keyboard, &mode);
    CloseHandle(keyboard);
    if (!console)
        return -1;
    // An extended key (an arrow, Home, Del) comes as two codes at once, 0 or
    // 0xE0 and then its own. A character key may be coded 0xE0 too (O acute in
    // code page 850, alpha in 437) and comes alone: take a second code only if one is there.
    int key = _getch();
    unsigned char code = static_cast<unsigned char>(key);
    if ((code == 0 || code == 0xE0) && _kbhit())
        _getch();
    return key;
}
