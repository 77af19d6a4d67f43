// A pseudo-terminal harness: chisei runs on a fresh pty that is its
// controlling terminal, in the foreground process group of a session whose
// leader is a minimal job-control shell (so Ctrl-Z really stops it).
// A chisei.exe runs under wine, which makes the pty its console; the
// environment the programs see (locale, TERM) is set here, not inherited.
#pragma once

#include <string>
#include <sys/types.h>
#include <termios.h>

#include "run.hpp"

class pty_session {
  public:
    // ignored: a signal chisei inherits as ignored (0 for none).
    // Under wine: code_page, the console's code page (0: wine's own); to_file,
    // chisei's standard output redirected to a file instead of the console.
    // job: a shell script that the job runs instead of chisei alone, in which
    // $0 names chisei (not under wine).
    explicit pty_session(int ignored = 0, int code_page = 0, bool to_file = false,
                         const char *job = nullptr);
    ~pty_session();
    pty_session(const pty_session &) = delete;
    pty_session &operator=(const pty_session &) = delete;

    void type(const std::string &keys); // as if typed on the keyboard
    // Until the screen has shown text; a failure of the test if it does not.
    bool wait_for(const std::string &text, int times = 1, bool must = true);
    // What the screen shows, as UTF-8 text: under wine, with the console's
    // cursor codes drawn as a terminal draws them and its line ends as CR LF.
    // With the output redirected, what chisei wrote to the file, as bytes.
    std::string screen() const;
    bool wine() const
    {
        return wine_;
    }

    bool wait_exit();         // until chisei has ended
    bool wait_stopped();      // until chisei is stopped
    bool wait_echo(bool on);  // until ECHO is on (or off)
    bool wait_restored();     // until the settings are those at the start
    bool ends_within(int ms); // whether chisei ends in that time
    bool running() const
    {
        return !ended_;
    } // as far as the last event said
    int status() const
    {
        return status_;
    } // as waitpid reports it
    void kill(int sig) const;
    void restore_settings() const; // as a shell does when its job stops
    // wine's console leaves the suspend key on the pty: switch it off there,
    // so that a Ctrl-Z typed reaches the program.
    void disable_suspend_key() const;

    // What the terminal holds that nobody has read (what a shell would read
    // next), once chisei has ended. Leaves the terminal without line editing.
    std::string unread_input() const;

    termios settings() const;
    termios at_start() const
    {
        return start_;
    }

  private:
    bool next_event(int timeout_ms);
    template <class Done> bool wait_settings(Done done, bool while_running);
    void drain(int timeout_ms);

    int master_ = -1, slave_ = -1, events_ = -1;
    pid_t shell_ = -1, pid_ = -1;
    int status_ = 0;
    bool ended_ = false, stopped_ = false, wine_ = false;
    std::string output_, output_file_;
    termios start_{};
    wine_log wine_log_; // kept once the session is over
};

bool same_settings(const termios &a, const termios &b);
