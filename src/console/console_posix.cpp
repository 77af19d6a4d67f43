// The console on a POSIX terminal. Standard output and standard input are
// used through small buffers of our own and plain write/read calls; the key
// waits read the controlling terminal (/dev/tty) in non-canonical mode.
#include <cerrno>
#include <csignal>
#include <cstddef>

#include <fcntl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Waits until fd can be read (or written), for at most timeout_ms (-1: for
// as long as it takes): select's answer, above 0 once it can, 0 once the
// time is up. select, not poll: Darwin's poll does not support devices, and
// on a terminal it answers at once, ready or not. A descriptor beyond
// select's reach is never ready. (Out of line, so that the paths that read
// and write keep no descriptor set on their stack.)
[[gnu::noinline]] int ready(int fd, bool to_write, int timeout_ms)
{
    if (fd >= FD_SETSIZE)
        return 0;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval limit = {timeout_ms / 1000, timeout_ms % 1000 * 1000};
    return select(fd + 1, to_write ? nullptr : &set, to_write ? &set : nullptr, nullptr,
                  timeout_ms < 0 ? nullptr : &limit);
}

// A descriptor handed to us non-blocking answers EAGAIN when it is not
// ready: that means "not yet", so wait until it is.
bool not_yet(int fd, bool to_write)
{
    if (errno != EAGAIN && errno != EWOULDBLOCK)
        return errno == EINTR;
    ready(fd, to_write, -1);
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
        if (done < 0 && not_yet(STDOUT_FILENO, true))
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
    while (got < 0 && not_yet(STDIN_FILENO, false));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

} // namespace

#include "stream_console.hpp"

// ---- Key waits ----------------------------------------------------------
//
// The first wait opens the controlling terminal, which stays open for the
// second. A wait switches off line editing and echo (TCSANOW: keys typed
// before the wait must not be thrown away), takes one key and puts the saved
// settings back. It reads every code of the key itself, those that the
// terminal would act on included (an old terminal's key may hold a Ctrl-C
// or a Ctrl-S among its codes): the signal keys and flow control are off
// while it waits, and a key that begins with Ctrl-C, Ctrl-\ or Ctrl-Z sends
// its signal as the terminal would. While the terminal is switched, the
// signals that end or stop the process restore the saved settings first.

namespace {

const int key_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT};
struct sigaction previous[sizeof key_signals / sizeof key_signals[0]];

// A terminal writes all the codes of one key at once, so they come in
// together, and the next key comes a keystroke later. A key that begins with
// a control code is taken with every byte that follows it within this gap,
// whatever its shape: ESC [ A, the Linux console's ESC [ [ A, rxvt's
// ESC ESC [ A, konsole's ESC O 2 P, a Wyse's Ctrl-A @ Enter. 50 ms is far
// more than the bytes of one key are ever apart, even spread over a slow
// link, and less than a person takes between two keys; it is also all the
// wait adds after such a key.
const int key_gap_ms = 50;

int tty = -1; // opened by the first wait, and kept until exit
termios saved, waiting;
volatile sig_atomic_t switched; // the terminal holds the waiting settings

void on_signal(int sig);

// The handler runs with the signals blocked that were blocked outside it
// (SA_NODEFER: its own signal too is left as it was), so that the signal
// it raises again acts at once.
void catch_signal(int sig, struct sigaction *old)
{
    struct sigaction act = {};
    act.sa_handler = on_signal;
    act.sa_flags = SA_NODEFER;
    sigaction(sig, &act, old);
    if (old && old->sa_handler == SIG_IGN) // keep what we were told to ignore
        sigaction(sig, old, nullptr);
}

// A signal that ends or stops the process gives the terminal its saved
// settings back, then does what it does by default. Until the wait goes
// on, a SIGCONT (or a signal within this one) leaves the terminal as it is.
void on_signal(int sig)
{
    int saved_errno = errno;
    if (sig != SIGCONT) {
        sig_atomic_t was = switched;
        switched = 0;
        tcsetattr(tty, TCSANOW, &saved);
        struct sigaction dfl = {};
        dfl.sa_handler = SIG_DFL;
        sigaction(sig, &dfl, nullptr);
        raise(sig);
        // Only a stop comes back here, once the process is continued.
        catch_signal(sig, nullptr);
        switched = was;
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
        int polled = timeout_ms < 0 ? 1 : ready(tty, false, timeout_ms);
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

// Whether a key that begins with byte b may go on with more codes: a control
// code, or a byte that begins no UTF-8 character (8-bit codes such as CSI).
// A key that begins with text is one character, so that text pasted at a
// key wait stays for the answers.
bool begins_codes(int b)
{
    return b >= 0 && (b < 0x20 || b == 0x7F || (b >= 0x80 && continuation_count(b) == 0));
}

// The signal of the terminal's signal key b (Ctrl-C, Ctrl-\, Ctrl-Z as the
// saved settings name them), or 0.
int signal_of(int b)
{
    const int keys[][2] = {{VINTR, SIGINT}, {VQUIT, SIGQUIT}, {VSUSP, SIGTSTP}};
    for (const int *key : keys)
        if ((saved.c_lflag & ISIG) && saved.c_cc[key[0]] != _POSIX_VDISABLE &&
            b == saved.c_cc[key[0]])
            return key[1];
    return 0;
}

int take_key()
{
    for (;;) {
        int b = read_key_byte(-1);
        if (begins_codes(b)) {
            while (read_key_byte(key_gap_ms) >= 0)
                ;
        } else {
            for (int more = continuation_count(b); more > 0; more--)
                if (!is_continuation(read_key_byte(key_gap_ms)))
                    break;
        }
        int sig = signal_of(b);
        if (sig == 0)
            return b;
        kill(0, sig); // to the foreground job, as the terminal sends it; a stop
                      // comes back here once continued, and the wait goes on
    }
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
        waiting.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
        waiting.c_iflag &= ~static_cast<tcflag_t>(IXON);
        waiting.c_cc[VMIN] = 1;
        waiting.c_cc[VTIME] = 0;
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
