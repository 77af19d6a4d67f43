// The console on a POSIX terminal. Standard output and standard input are
// used through small buffers of our own and plain write/read calls; the key
// waits read the controlling terminal (/dev/tty) in non-canonical mode.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "console.hpp"

namespace {

// ---- Output -------------------------------------------------------------

char out[1024];
std::size_t out_len;
bool out_bad;

// Code page 850, bytes 128 to 255, as Unicode code points.
const unsigned short cp850[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 0x80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, //
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 0x90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, //
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // 0xA0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, //
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, // 0xB0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, //
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, // 0xC0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, //
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, // 0xD0
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, //
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, // 0xE0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, //
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8, // 0xF0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0, //
};

// A descriptor handed to us non-blocking answers EAGAIN when it is not
// ready: that means "not yet", so wait until it is.
bool not_yet(int fd, short events)
{
    if (errno != EAGAIN && errno != EWOULDBLOCK)
        return errno == EINTR;
    pollfd ready = {fd, events, 0};
    poll(&ready, 1, -1);
    return true;
}

bool write_all(const char *p, std::size_t len)
{
    while (len > 0) {
        ssize_t done = write(STDOUT_FILENO, p, len);
        if (done < 0 && not_yet(STDOUT_FILENO, POLLOUT))
            continue;
        if (done <= 0)
            return false;
        p += done;
        len -= static_cast<std::size_t>(done);
    }
    return true;
}

void flush()
{
    // A reader that goes away must show up as a failed write, not kill us.
    static bool sigpipe_ignored;
    if (!sigpipe_ignored) {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, nullptr);
        sigpipe_ignored = true;
    }
    if (out_len > 0 && !write_all(out, out_len))
        out_bad = true;
    out_len = 0;
}

void append(const char *p, std::size_t len)
{
    while (len > 0) {
        if (out_len == sizeof out)
            flush();
        std::size_t n = std::min(len, sizeof out - out_len);
        std::memcpy(out + out_len, p, n);
        out_len += n;
        p += n;
        len -= n;
    }
}

void put(unsigned ch)
{
    if (out_len == sizeof out)
        flush();
    out[out_len++] = static_cast<char>(ch);
}

// ---- Answers ------------------------------------------------------------

unsigned char in[4096];
std::size_t in_pos, in_len;
bool in_failed; // the input has ended or can no longer be read

void refill()
{
    ssize_t got;
    do
        got = read(STDIN_FILENO, in, sizeof in);
    while (got < 0 && not_yet(STDIN_FILENO, POLLIN));
    in_pos = 0;
    in_len = got > 0 ? static_cast<std::size_t>(got) : 0;
    in_failed = got <= 0;
}

// The next byte of the answer input, without taking it; -1 once it has ended.
int peek()
{
    if (in_pos == in_len && !in_failed)
        refill();
    return in_pos < in_len ? in[in_pos] : -1;
}

bool is_space(int b)
{
    return b == ' ' || (b >= '\t' && b <= '\r');
}

// How many continuation bytes a UTF-8 lead byte announces.
int continuation_count(int lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 1;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 2;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 3;
    return 0;
}

bool is_continuation(int b)
{
    return b >= 0x80 && b <= 0xBF;
}

} // namespace

void write_text(const char *s)
{
    if (!out_bad)
        append(s, std::strlen(s));
}

void write_char(char ch)
{
    if (out_bad)
        return;
    unsigned b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
        put(b);
        return;
    }
    unsigned u = cp850[b - 0x80];
    if (u < 0x800) {
        put(0xC0 | u >> 6);
    } else {
        put(0xE0 | u >> 12);
        put(0x80 | (u >> 6 & 0x3F));
    }
    put(0x80 | (u & 0x3F));
}

void write_int(int v)
{
    if (out_bad)
        return;
    char digits[10];
    int len = 0;
    unsigned u = v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v);
    do {
        digits[len++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u > 0);
    if (v < 0)
        put('-');
    while (len > 0)
        put(static_cast<unsigned char>(digits[--len]));
}

void end_line()
{
    put('\n');
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
    if (out_len > 0)
        flush();
    int b;
    while (is_space(b = peek()))
        in_pos++;
    if (b < 0)
        return false;
    in_pos++;
    slot = static_cast<char>(b);
    // A character typed as several UTF-8 bytes is one answer.
    for (int more = continuation_count(b); more > 0 && is_continuation(peek()); more--)
        in_pos++;
    return true;
}

// ---- Key waits ----------------------------------------------------------
//
// The first wait opens the controlling terminal, which stays open for the
// second. A wait switches off line editing and echo (TCSANOW: keys typed
// before the wait must not be thrown away), takes one key and puts the saved
// settings back. The signal keys stay on; while the terminal is switched,
// the signals that end or stop the process restore the saved settings first.

namespace {

const int key_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT};
struct sigaction previous[sizeof key_signals / sizeof key_signals[0]];

// How long the rest of a key's code may take to arrive after its first byte.
const int rest_of_key_ms = 25;

int tty = -1; // opened by the first wait, and kept until exit
termios saved, waiting;
sigset_t unblocked;             // the signal mask outside the handlers
volatile sig_atomic_t switched; // the terminal holds the waiting settings

void on_signal(int sig);

void catch_signal(int sig, struct sigaction *old)
{
    struct sigaction act = {};
    act.sa_handler = on_signal;
    sigfillset(&act.sa_mask);
    sigaction(sig, &act, old);
    if (old && old->sa_handler == SIG_IGN) // keep what we were told to ignore
        sigaction(sig, old, nullptr);
}

void on_signal(int sig)
{
    int saved_errno = errno;
    if (sig != SIGCONT) {
        tcsetattr(tty, TCSANOW, &saved);
        struct sigaction dfl = {};
        dfl.sa_handler = SIG_DFL;
        sigaction(sig, &dfl, nullptr);
        sigprocmask(SIG_SETMASK, &unblocked, nullptr);
        raise(sig);
        // Only a stop comes back here, once the process is continued.
        catch_signal(sig, nullptr);
    }
    if (switched)
        tcsetattr(tty, TCSANOW, &waiting);
    errno = saved_errno;
}

// One byte from the terminal; -1 at its end, or when timeout_ms (if not -1)
// passes first.
int read_key_byte(int timeout_ms)
{
    for (;;) {
        pollfd ready = {tty, POLLIN, 0};
        int polled = timeout_ms < 0 ? 1 : poll(&ready, 1, timeout_ms);
        if (polled == 0)
            return -1;
        unsigned char b;
        ssize_t got = polled > 0 ? read(tty, &b, 1) : -1;
        if (got == 1)
            return b;
        if (got == 0 || errno != EINTR)
            return -1;
    }
}

// The rest of a key that began with ESC: ESC [ parameters and a final byte,
// ESC O and one byte, or ESC and one more key held with Alt.
void take_escape_rest()
{
    int b = read_key_byte(rest_of_key_ms);
    if (b == '[') {
        for (int i = 0; i < 32; i++) {
            b = read_key_byte(rest_of_key_ms);
            if (b < 0x20 || b > 0x3F)
                break;
        }
    } else if (b == 'O') {
        read_key_byte(rest_of_key_ms);
    }
}

int take_key()
{
    int b = read_key_byte(-1);
    if (b == 0x1B)
        take_escape_rest();
    for (int more = continuation_count(b); more > 0; more--)
        if (!is_continuation(read_key_byte(rest_of_key_ms)))
            break;
    return b;
}

} // namespace

int wait_key()
{
    if (tty < 0)
        tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0)
        return -1;
    int key = -1;
    if (tcgetattr(tty, &saved) == 0) {
        waiting = saved;
        waiting.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        waiting.c_cc[VMIN] = 1;
        waiting.c_cc[VTIME] = 0;
        sigprocmask(SIG_BLOCK, nullptr, &unblocked);
        for (std::size_t i = 0; i < sizeof key_signals / sizeof key_signals[0]; i++)
            catch_signal(key_signals[i], &previous[i]);
        switched = 1;
        if (tcsetattr(tty, TCSANOW, &waiting) == 0)
            key = take_key();
        switched = 0;
        tcsetattr(tty, TCSANOW, &saved);
        for (std::size_t i = 0; i < sizeof key_signals / sizeof key_signals[0]; i++)
            sigaction(key_signals[i], &previous[i], nullptr);
    }
    return key;
}
