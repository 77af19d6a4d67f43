#include "pty.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "run.hpp"

namespace {

const int deadline_ms = 10000;

using steady = std::chrono::steady_clock;

int ms_left(steady::time_point end)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - steady::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::string windows_path(const std::string &path)
{
    std::string path_there = "Z:" + path;
    for (char &ch : path_there)
        ch = ch == '/' ? '\\' : ch;
    return path_there;
}

// chisei.exe under wine, with the wine prefix beside it; through cmd when the
// console's code page is set first or the output goes to a file.
[[noreturn]] void exec_wine(const std::string &program, int code_page, const std::string &file)
{
    set_wine_environment(program);
    if (code_page == 0 && file.empty())
        execlp("wine", "wine", program.c_str(), static_cast<char *>(nullptr));
    std::string command = windows_path(program);
    if (!file.empty())
        command += " >" + windows_path(file);
    if (code_page != 0)
        command = "chcp " + std::to_string(code_page) + " >nul && " + command;
    execlp("wine", "wine", "cmd", "/c", command.c_str(), static_cast<char *>(nullptr));
    _exit(127);
}

[[noreturn]] void run_chisei_in_foreground(int slave, int ignored, int code_page,
                                           const std::string &file, int wine_err_fd,
                                           const char *job)
{
    signal(SIGTTOU, SIG_IGN);
    setpgid(0, 0);
    tcsetpgrp(slave, getpid());
    for (int sig : {SIGTTOU, SIGPIPE, SIGINT, SIGQUIT, SIGTSTP, SIGHUP, SIGTERM})
        signal(sig, SIG_DFL);
    if (ignored)
        signal(ignored, SIG_IGN);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    rlimit no_core = {0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
    for (int fd = 0; fd < 3; fd++)
        dup2(slave, fd);
    setenv("TERM", "xterm", 1);
    const char *program = std::getenv("CHISEI_PROGRAM");
    if (windows_build()) {
        dup2(wine_err_fd, 2); // wine's own messages, not on the console
        exec_wine(program, code_page, file);
    }
    if (job)
        execl("/bin/sh", "sh", "-c", job, program, static_cast<char *>(nullptr));
    else
        execl(program, program, static_cast<char *>(nullptr));
    _exit(127);
}

// The session leader: starts chisei as its foreground job and reports its
// pid, then every change of its state, on the events pipe.
[[noreturn]] void shell(int slave, int events, int ignored, int code_page, const std::string &file,
                        int wine_err_fd, const char *job)
{
    setsid();
    ioctl(slave, TIOCSCTTY, 0);
    pid_t pid = fork();
    if (pid == 0)
        run_chisei_in_foreground(slave, ignored, code_page, file, wine_err_fd, job);
    close(slave);
    write(events, &pid, sizeof pid);
    for (;;) {
        int status;
        if (waitpid(pid, &status, WUNTRACED | WCONTINUED) < 0)
            _exit(1);
        write(events, &status, sizeof status);
        if (WIFEXITED(status) || WIFSIGNALED(status))
            _exit(0);
    }
}

} // namespace

pty_session::pty_session(int ignored, int code_page, bool to_file, const char *job)
{
    wine_ = windows_build();
    if (to_file) {
        char name[] = "/tmp/chisei-output-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0)
            close(fd);
        output_file_ = name;
    }
    // The kernel's default settings for a new terminal are a login shell's:
    // line editing, echo, the signal keys, DEL as erase.
    winsize size = {40, 100, 0, 0};
    int pipe_fds[2];
    if (openpty(&master_, &slave_, nullptr, nullptr, &size) != 0 || pipe(pipe_fds) != 0) {
        ADD_FAILURE() << "openpty: " << std::strerror(errno);
        return;
    }
    tcgetattr(slave_, &start_);
    shell_ = fork();
    if (shell_ == 0) {
        close(master_);
        close(pipe_fds[0]);
        shell(slave_, pipe_fds[1], ignored, code_page, output_file_, wine_log_.fd(), job);
    }
    close(pipe_fds[1]);
    events_ = pipe_fds[0];
    pollfd ready = {events_, POLLIN, 0};
    if (poll(&ready, 1, deadline_ms) != 1 || read(events_, &pid_, sizeof pid_) != sizeof pid_)
        ADD_FAILURE() << "chisei did not start";
}

pty_session::~pty_session()
{
    if (pid_ > 0 && !ended_) {
        ::kill(-pid_, SIGKILL); // the job, and what it started
        ::kill(pid_, SIGKILL);
        ::kill(pid_, SIGCONT);
        while (!ended_ && next_event(deadline_ms))
            ;
    }
    if (shell_ > 0)
        waitpid(shell_, nullptr, 0);
    for (int fd : {master_, slave_, events_})
        if (fd >= 0)
            close(fd);
    if (!output_file_.empty())
        unlink(output_file_.c_str());
}

void pty_session::type(const std::string &keys)
{
    if (write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size()))
        ADD_FAILURE() << "could not type " << keys;
}

void pty_session::drain(int timeout_ms)
{
    pollfd ready = {master_, POLLIN, 0};
    if (poll(&ready, 1, timeout_ms) != 1)
        return;
    char buf[4096];
    ssize_t got = read(master_, buf, sizeof buf);
    if (got > 0)
        output_.append(buf, static_cast<std::size_t>(got));
}

namespace {

// The length of the control sequence at s[i] (ESC [ parameters final), or 0.
std::size_t csi_length(const std::string &s, std::size_t i)
{
    if (s.compare(i, 2, "\x1b[") != 0)
        return 0;
    std::size_t end = s.find_first_not_of("0123456789;?", i + 2);
    return end == std::string::npos ? s.size() - i : end + 1 - i;
}

// wine's console draws what a program writes with cursor codes around each
// write, ESC[K ESC[nC for a run of n spaces, and CR CR LF for a line end.
std::string as_drawn(const std::string &raw)
{
    std::string s;
    for (std::size_t i = 0; i < raw.size();) {
        std::size_t csi = csi_length(raw, i);
        if (csi > 0 && raw[i + csi - 1] == 'C')
            s.append(static_cast<std::size_t>(std::atoi(raw.c_str() + i + 2)), ' ');
        if (csi > 0) {
            i += csi;
            continue;
        }
        s += raw[i++];
    }
    for (std::size_t at = s.find("\r\r\n"); at != std::string::npos; at = s.find("\r\r\n", at))
        s.erase(at, 1);
    return s;
}

} // namespace

std::string pty_session::screen() const
{
    if (!output_file_.empty())
        return read_file(output_file_);
    return wine_ ? as_drawn(output_) : output_;
}

bool pty_session::wait_for(const std::string &text, int times, bool must)
{
    auto end = steady::now() + std::chrono::milliseconds(deadline_ms);
    while (count(screen(), text) < times) {
        if (ms_left(end) == 0) {
            if (must)
                ADD_FAILURE() << "never shown: " << text << "\nscreen:\n" << screen();
            return false;
        }
        drain(output_file_.empty() ? ms_left(end) : std::min(ms_left(end), 20));
    }
    return true;
}

bool pty_session::next_event(int timeout_ms)
{
    pollfd ready = {events_, POLLIN, 0};
    if (poll(&ready, 1, timeout_ms) != 1 ||
        read(events_, &status_, sizeof status_) != sizeof status_)
        return false;
    ended_ = WIFEXITED(status_) || WIFSIGNALED(status_);
    stopped_ = WIFSTOPPED(status_);
    return true;
}

bool pty_session::wait_exit()
{
    ends_within(deadline_ms);
    drain(0);
    if (!ended_)
        ADD_FAILURE() << "chisei did not end; screen:\n" << screen();
    return ended_;
}

bool pty_session::wait_stopped()
{
    auto end = steady::now() + std::chrono::milliseconds(deadline_ms);
    while (!stopped_ && !ended_ && ms_left(end) > 0)
        next_event(ms_left(end));
    return stopped_;
}

template <class Done> bool pty_session::wait_settings(Done done, bool while_running)
{
    auto end = steady::now() + std::chrono::milliseconds(deadline_ms);
    while (!done(settings())) {
        if (ms_left(end) == 0 || (while_running && ended_))
            return false;
        drain(0);
        next_event(5);
    }
    return true;
}

bool pty_session::wait_echo(bool on)
{
    return wait_settings([on](const termios &now) { return ((now.c_lflag & ECHO) != 0) == on; },
                         true);
}

// wine puts the settings back a moment after the program has ended.
bool pty_session::wait_restored()
{
    return wait_settings([this](const termios &now) { return same_settings(now, start_); }, false);
}

bool pty_session::ends_within(int ms)
{
    auto end = steady::now() + std::chrono::milliseconds(ms);
    while (!ended_ && ms_left(end) > 0) {
        drain(0);
        next_event(std::min(ms_left(end), 20));
    }
    return ended_;
}

void pty_session::kill(int sig) const
{
    ::kill(pid_, sig);
}

void pty_session::restore_settings() const
{
    tcsetattr(slave_, TCSANOW, &start_);
}

void pty_session::disable_suspend_key() const
{
    termios now = settings();
    now.c_cc[VSUSP] = _POSIX_VDISABLE;
    tcsetattr(slave_, TCSANOW, &now);
}

std::string pty_session::unread_input() const
{
    termios raw = settings();
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(slave_, TCSANOW, &raw);
    std::string rest;
    char buf[256];
    for (ssize_t got; (got = read(slave_, buf, sizeof buf)) > 0;)
        rest.append(buf, static_cast<std::size_t>(got));
    return rest;
}

termios pty_session::settings() const
{
    termios now{};
    tcgetattr(slave_, &now);
    return now;
}

bool same_settings(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}
