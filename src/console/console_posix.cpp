// The console on a POSIX terminal. Standard output and standard input are
// used through small buffers of our own and plain write/read calls; the key
// waits read the controlling terminal (/dev/tty) in non-canonical mode.
#include <cerrno>
#include <csignal>
#include <cstddef>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

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

bool hand_over(const char *p, std::size_t len)
{
    // A reader that goes away must show up as a failed write, not kill us.
    static bool sigpipe_ignored;
    if (!sigpipe_ignored) {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, nullptr);
        sigpipe_ignored = true;
    }
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

std::size_t take_in(unsigned char *buf, std::size_t size)
{
    ssize_t got;
    do
        got = read(STDIN_FILENO, buf, size);
    while (got < 0 && not_yet(STDIN_FILENO, POLLIN));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

} // namespace

#include "stream_console.hpp"

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
