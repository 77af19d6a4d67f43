// Runs the real chisei binary the way a user meets it: answers on a pipe,
// standard output captured, in a session of its own (no controlling
// terminal, so the key waits go straight through).
#pragma once

#include <string>
#include <vector>

enum class output_to {
    pipe,
    dev_full,
    closed,
    pipe_without_reader,
    nonblocking_slow_reader,
    refusing_one_write
};
enum class input_from { pipe, closed, nonblocking_late };

struct run_result {
    std::string out; // everything written to standard output
    std::string err; // and to standard error
    int status = -1; // exit status, or -1 if it did not exit
    int signal = 0;  // the signal that ended it, if any
};

// CHISEI_PROGRAM names the binary. A chisei.exe is the Windows build: it
// runs under wine, with the wine prefix beside it, and writes code page 850
// and CR LF. A chisei.js is the web build: it runs under node, with node's
// standard streams for the page's terminal. A Linux build for another CPU
// (arm64, i386, s390x) runs under qemu's user mode, with the C library that
// Debian's multiarch installs for that CPU.
// nonblocking_slow_reader: standard output is a non-blocking pipe that is
// not read until it is well filled. refusing_one_write: a pipe whose third
// write fails (ENOSPC) and no other, through a preloaded library (not for
// the Windows build). nonblocking_late: standard input is a non-blocking
// pipe, and the answers come only once question 1 is shown.
run_result run_chisei(const std::string &input, output_to out = output_to::pipe,
                      input_from in = input_from::pipe);

bool windows_build();
bool web_build();
// The environment chisei.exe runs in under wine: the wine prefix beside it,
// a UTF-8 locale, and no address space randomization.
void set_wine_environment(const std::string &program);

// A file for wine's own messages during one run of the Windows build (its
// standard error goes there): made before the run, and when the run is over
// what it holds is kept, to be shown if the current test fails.
class wine_log {
  public:
    wine_log();
    ~wine_log();
    wine_log(const wine_log &) = delete;
    wine_log &operator=(const wine_log &) = delete;
    int fd() const
    {
        return fd_;
    } // -1 for the other builds

  private:
    int fd_ = -1;
};

int count(const std::string &text, const std::string &part); // occurrences of part

// Text with UTF-8 accented letters, with those letters in code page 850.
std::string in_cp850(std::string utf8);

// Expected bytes as this build writes them, from text written with UTF-8
// accented letters and LF line ends.
std::string as_written(const std::string &utf8_lf);

// Output with line ends and accented letters turned back into LF and UTF-8,
// so the same checks serve both builds. Fails the test on a bare LF from the
// Windows build.
std::string as_read(const std::string &raw);

// What a run showed, read back from its output (either build's).
struct shown {
    std::string tallies;  // the line after "Ecco i risultati:", or ""
    std::string profiles; // the letters of the profile labels shown, in order
    int blocks = 0;       // question blocks shown
};
shown read_screen(const std::string &out);

std::string read_file(const std::string &path);
std::vector<std::string> lines_of(const std::string &text);
