// The console on Windows, through the C runtime: standard output and
// standard input in text mode (a line end is CR LF on the way out and LF on
// the way in), and _getch for the key waits.
#include <conio.h>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "console.hpp"

namespace {

char out_buffer[1024];
bool started;
bool out_bad;
bool in_failed;
bool utf8_console; // the console shows UTF-8 (code page 65001), not code page 850

// Sets the streams up before their first use: text mode, and a buffer so
// that each line reaches the console in one write.
void start()
{
    if (started)
        return;
    started = true;
    _setmode(_fileno(stdout), _O_TEXT);
    _setmode(_fileno(stdin), _O_TEXT);
    setvbuf(stdout, out_buffer, _IOFBF, sizeof out_buffer);
    utf8_console = _isatty(_fileno(stdout)) && GetConsoleOutputCP() == CP_UTF8;
}

void put(int ch)
{
    start();
    if (!out_bad && std::putc(ch, stdout) == EOF)
        out_bad = true;
}

void flush()
{
    start();
    if (std::fflush(stdout) == EOF)
        out_bad = true;
}

bool is_space(int b)
{
    return b == ' ' || (b >= '\t' && b <= '\r');
}

// The three accented letters the quiz writes, for a UTF-8 console.
const char *as_utf8(unsigned char b)
{
    switch (b) {
    case 0x85:
        return "\xC3\xA0"; // à
    case 0x8A:
        return "\xC3\xA8"; // è
    case 0x95:
        return "\xC3\xB2"; // ò
    default:
        return nullptr;
    }
}

} // namespace

void write_text(const char *s)
{
    start();
    if (!out_bad && std::fputs(s, stdout) == EOF)
        out_bad = true;
}

void write_char(char ch)
{
    start();
    const char *utf8 = utf8_console ? as_utf8(static_cast<unsigned char>(ch)) : nullptr;
    if (utf8)
        write_text(utf8);
    else
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
    std::putc('\n', stdout);
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
    while (is_space(b = std::getchar()))
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
