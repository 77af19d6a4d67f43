// Preloaded into chisei (LD_PRELOAD): its third write to standard output
// fails with ENOSPC, as on a disk that is full for a moment; every other
// write goes through.
#include <cerrno>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" ssize_t write(int fd, const void *buf, size_t len)
{
    static int writes;
    if (fd == STDOUT_FILENO && ++writes == 3) {
        errno = ENOSPC;
        return -1;
    }
    return syscall(SYS_write, fd, buf, len);
}
