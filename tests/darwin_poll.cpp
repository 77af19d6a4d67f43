// Preloaded into chisei (LD_PRELOAD): poll(2) as Darwin's, which does not
// support devices, answers for a terminal: at once, with POLLNVAL, whatever
// there is to read. Any other descriptor is polled as usual.
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" int poll(pollfd *fds, nfds_t count, int timeout_ms)
{
    int terminals = 0;
    for (nfds_t i = 0; i < count; i++)
        if (isatty(fds[i].fd)) {
            fds[i].revents = POLLNVAL;
            terminals++;
        }
    if (terminals > 0)
        return terminals;
    timespec limit = {timeout_ms / 1000, timeout_ms % 1000 * 1000000L};
    return static_cast<int>(
        syscall(SYS_ppoll, fds, count, timeout_ms < 0 ? nullptr : &limit, nullptr, 0));
}
