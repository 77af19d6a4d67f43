#include "run.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/personality.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

const char *env_or(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? value : fallback;
}

void set_nonblocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// The qemu that runs a Linux build for another CPU, as its ELF header names
// the CPU; nullptr for this machine's own, or a build that is no ELF file.
const char *qemu_for(const std::string &program)
{
    unsigned char h[EI_NIDENT + 4] = {};
    std::ifstream(program, std::ios::binary).read(reinterpret_cast<char *>(h), sizeof h);
    if (std::memcmp(h, ELFMAG, SELFMAG) != 0)
        return nullptr;
    const unsigned char *m = h + EI_NIDENT + 2; // e_machine, in the file's byte order
    switch (h[EI_DATA] == ELFDATA2MSB ? m[0] << 8 | m[1] : m[1] << 8 | m[0]) {
    case EM_AARCH64:
        return "qemu-aarch64-static";
    case EM_386:
        return "qemu-i386-static";
    case EM_S390:
        return "qemu-s390x-static";
    default:
        return nullptr;
    }
}

[[noreturn]] void exec_chisei(int in_fd, int out_fd, int err_fd, int wine_err_fd, output_to out,
                              input_from in)
{
    setsid();
    signal(SIGPIPE, SIG_DFL);
    int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (in == input_from::closed)
        close(0);
    else
        dup2(in_fd, 0);
    if (in == input_from::nonblocking_late)
        set_nonblocking(0);
    if (out == output_to::closed)
        close(1);
    else if (out == output_to::dev_full)
        dup2(full, 1);
    else
        dup2(out_fd, 1);
    if (out == output_to::nonblocking_slow_reader)
        set_nonblocking(1);
    if (out == output_to::refusing_one_write)
        setenv("LD_PRELOAD", CHISEI_REFUSE_WRITE, 1);
    dup2(err_fd, 2);
    std::string program = env_or("CHISEI_PROGRAM", "chisei");
    const char *qemu = qemu_for(program);
    if (web_build()) {
        std::string host = CHISEI_TEST_DIR "/web/run_node.mjs";
        execlp("node", "node", host.c_str(), program.c_str(), static_cast<char *>(nullptr));
    } else if (windows_build()) {
        set_wine_environment(program);
        dup2(wine_err_fd, 2);
        execlp("wine", "wine", program.c_str(), static_cast<char *>(nullptr));
    } else if (qemu) {
        execlp(qemu, qemu, program.c_str(), static_cast<char *>(nullptr));
    } else {
        execl(program.c_str(), program.c_str(), static_cast<char *>(nullptr));
    }
    _exit(127);
}

// Lets the program fill its output pipe before anything is read from it:
// until the pipe holds half its size, and a moment more.
void read_late(int out_fd)
{
    for (int i = 0, held = 0; i < 1000 && held < (1 << 15); i++) {
        usleep(10000);
        ioctl(out_fd, FIONREAD, &held);
    }
    usleep(200000);
}

// Feeds input and collects standard output and standard error until the
// program has closed both. A late input waits until question 1 is shown.
void talk(int in_fd, int out_fd, int err_fd, const std::string &input, bool input_late,
          run_result &result)
{
    std::size_t sent = 0;
    if (input.empty()) {
        close(in_fd);
        in_fd = -1;
    }
    int readers[2] = {out_fd, err_fd};
    std::string *into[2] = {&result.out, &result.err};
    while (readers[0] >= 0 || readers[1] >= 0 || in_fd >= 0) {
        if (input_late && result.out.find("e) carogne") != std::string::npos) {
            usleep(50000); // the program is reading by now
            input_late = false;
        }
        int writer = input_late ? -1 : in_fd;
        pollfd fds[3] = {{readers[0], POLLIN, 0}, {readers[1], POLLIN, 0}, {writer, POLLOUT, 0}};
        if (poll(fds, 3, 60000) <= 0)
            break; // hung: the caller finds no exit status
        for (int i = 0; i < 2; i++) {
            if (!fds[i].revents)
                continue;
            char buf[65536];
            ssize_t got = read(readers[i], buf, sizeof buf);
            if (got > 0) {
                into[i]->append(buf, static_cast<std::size_t>(got));
            } else {
                close(readers[i]);
                readers[i] = -1;
            }
        }
        if (fds[2].revents) {
            ssize_t put = write(in_fd, input.data() + sent, input.size() - sent);
            if (put > 0)
                sent += static_cast<std::size_t>(put);
            if ((put < 0 && errno != EAGAIN) || sent == input.size()) {
                close(in_fd);
                in_fd = -1;
            }
        }
    }
    for (int fd : {in_fd, readers[0], readers[1]})
        if (fd >= 0)
            close(fd);
}

} // namespace

run_result run_chisei(const std::string &input, output_to out, input_from in_from)
{
    signal(SIGPIPE, SIG_IGN);
    int in[2], outp[2], errp[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(outp, O_CLOEXEC) != 0 || pipe2(errp, O_CLOEXEC) != 0)
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
    wine_log log;
    pid_t pid = fork();
    if (pid == 0)
        exec_chisei(in[0], outp[1], errp[1], log.fd(), out, in_from);
    close(in[0]);
    close(outp[1]);
    close(errp[1]);
    fcntl(in[1], F_SETFL, O_NONBLOCK); // write what fits, and keep reading
    if (out == output_to::pipe_without_reader) {
        close(outp[0]);
        outp[0] = -1;
    }
    std::string rest = input;
    if (out == output_to::nonblocking_slow_reader) { // all the input first: it fits the pipe
        ssize_t put = write(in[1], input.data(), input.size());
        rest.erase(0, put > 0 ? static_cast<std::size_t>(put) : 0);
        read_late(outp[0]);
    }
    run_result result;
    talk(in[1], outp[0], errp[0], rest, in_from == input_from::nonblocking_late, result);
    int status = 0;
    // Its output is closed; it should be gone or going. Give up after a minute.
    pid_t ended = 0;
    for (int tries = 0; tries < 6000 && ended == 0; tries++) {
        ended = waitpid(pid, &status, WNOHANG);
        if (ended == 0)
            usleep(10000);
    }
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "chisei did not end";
        return result;
    }
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

namespace {

bool program_ends_with(const std::string &suffix)
{
    std::string program = env_or("CHISEI_PROGRAM", "chisei");
    return program.size() > suffix.size() &&
           program.compare(program.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

bool windows_build()
{
    return program_ends_with(".exe");
}

bool web_build()
{
    return program_ends_with(".js");
}

void set_wine_environment(const std::string &program)
{
    std::string prefix = program.substr(0, program.rfind('/') + 1) + "wineprefix";
    setenv("WINEPREFIX", prefix.c_str(), 1);
    // wine's console talks to a terminal in the locale's encoding.
    setenv("LC_ALL", "C.UTF-8", 1);
    // Debian's wine has no preloader to keep the addresses it needs free:
    // with the address space laid out at random, now and then one is taken
    // and wine ends before the program starts ("failed to map the shared
    // user data"). Without randomization, it always finds them.
    personality(ADDR_NO_RANDOMIZE);
}

namespace {

// wine's messages during the current test, shown if it fails.
std::string wine_messages;

class wine_messages_on_failure : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo &) override
    {
        wine_messages.clear();
    }
    void OnTestEnd(const testing::TestInfo &info) override
    {
        if (info.result()->Failed() && !wine_messages.empty())
            std::printf("wine's own messages during this test:\n%s", wine_messages.c_str());
    }
};

const bool listening = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new wine_messages_on_failure);
    return true;
}();

} // namespace

wine_log::wine_log()
{
    if (!windows_build())
        return;
    char name[] = "/tmp/chisei-wine-XXXXXX";
    fd_ = mkostemp(name, O_CLOEXEC);
    if (fd_ >= 0)
        unlink(name); // read back through fd_
}

wine_log::~wine_log()
{
    if (fd_ < 0)
        return;
    char buf[4096];
    std::string text;
    for (ssize_t got; (got = pread(fd_, buf, sizeof buf, static_cast<off_t>(text.size()))) > 0;)
        text.append(buf, static_cast<std::size_t>(got));
    wine_messages += text.empty() ? "(none)\n" : text;
    close(fd_);
}

int count(const std::string &text, const std::string &part)
{
    int n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

namespace {

struct accent {
    const char *utf8;
    char cp850;
};
const accent accents[] = {{"\xC3\xA0", '\x85'}, {"\xC3\xA8", '\x8A'}, {"\xC3\xB2", '\x95'}};

std::string replace_all(std::string s, const std::string &from, const std::string &to)
{
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
    return s;
}

} // namespace

std::string in_cp850(std::string utf8)
{
    for (const accent &a : accents)
        utf8 = replace_all(utf8, a.utf8, std::string(1, a.cp850));
    return utf8;
}

std::string as_written(const std::string &utf8_lf)
{
    if (!windows_build())
        return utf8_lf;
    return in_cp850(replace_all(utf8_lf, "\n", "\r\n"));
}

std::string as_read(const std::string &raw)
{
    if (!windows_build())
        return raw;
    std::string s = replace_all(raw, "\r\n", "\n");
    EXPECT_EQ(std::count(s.begin(), s.end(), '\r'), 0) << "stray CR";
    EXPECT_EQ(std::count(raw.begin(), raw.end(), '\n'), count(raw, "\r\n")) << "bare LF";
    for (const accent &a : accents)
        s = replace_all(s, std::string(1, a.cp850), a.utf8);
    return s;
}

shown read_screen(const std::string &out)
{
    shown s;
    std::vector<std::string> lines = lines_of(as_read(out));
    for (std::size_t i = 0; i < lines.size(); i++) {
        if (lines[i].rfind("a) ", 0) == 0)
            s.blocks++;
        if (lines[i] == "Ecco i risultati:" && i + 1 < lines.size())
            s.tallies = lines[i + 1];
        if (lines[i].rfind("profilo ", 0) == 0)
            s.profiles += lines[i].substr(8);
    }
    return s;
}

std::string read_file(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file.good()) << "cannot read " << path;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
