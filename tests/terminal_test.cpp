// The quiz on a real (pseudo-)terminal: key waits, echo, line editing,
// signals, and the terminal's settings after every way out. The start-key
// cases run on the Windows build's console under wine too.
#include <algorithm>
#include <csignal>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "pty.hpp"
#include "run.hpp"
#include "terminfo.hpp"

namespace {

const char start_prompt[] = "(batti un tasto per iniziare)\r\n\r\n";
const char question_1[] = "Qual \xC3\xA8 il tuo piatto preferito?";
const char question_1_end[] = "e) carogne putrefatte\r\n";
const char results_end[] = "Sei uno scoiattolo!\r\n"; // answers abcdeabc

// A table row's test is named after the row.
template <class Row> std::string row_name(const testing::TestParamInfo<Row> &info)
{
    return info.param.name;
}

void expect_clean_exit(pty_session &t)
{
    ASSERT_TRUE(t.wait_exit());
    EXPECT_TRUE(WIFEXITED(t.status()) && WEXITSTATUS(t.status()) == 0) << t.status();
    EXPECT_TRUE(t.wait_restored());
}

TEST(Terminal, WholeQuizTypedByAPerson)
{
    pty_session t;
    ASSERT_TRUE(t.wait_for(start_prompt));
    ASSERT_TRUE(t.wait_echo(false)); // waiting for the start key
    t.type("s");
    ASSERT_TRUE(t.wait_for(question_1_end));
    // The start key is neither echoed nor taken as an answer.
    EXPECT_NE(t.screen().find(std::string(start_prompt) + "\r\n" + question_1), std::string::npos);
    EXPECT_TRUE(same_settings(t.settings(), t.at_start())); // line editing is back
    const char *next[] = {"paura?",      "in tv?", "rinunciare?", "libero?",
                          "preferisci?", "avuto?", "mancare?",    "risultati:"};
    const char *answers = "abcdeabc";
    for (int i = 0; i < 8; i++) {
        t.type(std::string(1, answers[i]) + "\r");
        ASSERT_TRUE(t.wait_for(next[i]));
    }
    ASSERT_TRUE(t.wait_for(results_end));
    EXPECT_NE(t.screen().find("a= 2 b= 2 c= 2 d= 1 e= 1\r\n"), std::string::npos);
    // The Enter after the last answer does not end it: it waits for a key.
    ASSERT_TRUE(t.wait_echo(false));
    EXPECT_TRUE(t.running());
    t.type("q");
    expect_clean_exit(t);
    EXPECT_EQ(t.screen().substr(t.screen().size() - std::string(results_end).size()), results_end);
}

// Waits until chisei waits for a key (echo goes off), then types keys.
void at_the_wait(pty_session &t, const char *keys)
{
    ASSERT_TRUE(t.wait_echo(false));
    t.type(keys);
}

const char all_answers[] = "abcdeabc\r";

// Types answers (all eight questions on one line, unless told otherwise)
// once question 1 is shown (as many times as it is going to be before).
void answer_all(pty_session &t, int question_1_shown = 1, const char *answers = all_answers)
{
    ASSERT_TRUE(t.wait_for(question_1_end, question_1_shown));
    t.type(answers);
    ASSERT_TRUE(t.wait_for(results_end));
}

void finish(pty_session &t)
{
    ASSERT_NO_FATAL_FAILURE(at_the_wait(t, "q"));
    expect_clean_exit(t);
}

struct start_key {
    const char *name;
    const char *codes;
    int question_1_shown = 1;          // 2 when a key after the start key reaches the answers
    bool early = false;                // typed before the prompt is shown
    const char *later = "";            // the rest of the key, typed a little later
    int code_page = 0;                 // under wine: the console's code page (0: wine's own)
    bool to_file = false;              // under wine: the output redirected to a file
    const char *answers = all_answers; // typed at question 1, answering all eight
};

// Keys at an answer line: arrows add nothing.
const char up_and_enter[] = "\x1b[A\rabcdeabc\r";
const char up_left_and_answers[] = "\x1b[A\x1b[Dabcdeabc\r";

// (Every key that terminals send as codes, at both waits: the terminfo case below.)
const start_key start_keys[] = {
    {"letter", "x"},
    {"e_grave", "\xC3\xA8"},
    {"e_grave_from_a_latin_1_terminal", "\xE8"}, // begins a UTF-8 character, but is none
    {"euro", "\xE2\x82\xAC"},
    {"escape", "\x1b"},
    {"space", " "},
    {"typed_before_the_prompt", "k", 1, true},
    {"arrow_and_x_at_once", "\x1b[Ax"}, // as one key: the terminal sent them together
    {"text_pasted", "sabcdeabc\r", 1, false, "", 0, false,
     ""},                                            // a key, then the answers typed ahead
    {"up_arrow_spread_out", "\x1b", 1, false, "[A"}, // as over a slow link
    {"up_and_enter_at_question_1", "x", 1, false, "", 0, false, up_and_enter},
    {"up_left_and_answers_at_question_1", "x", 1, false, "", 0, false, up_left_and_answers},
};

// Every key that a terminal of the terminfo database sends beginning with a
// control code, at both key waits of one session: the start key adds nothing
// to the answers (question 1 shown once, the results those of the answers),
// and the final key leaves nothing on the terminal for the shell. What went
// wrong, or "".
std::string taken_whole(const std::string &start, const std::string &final_key,
                        const char *job = nullptr)
{
    pty_session t(0, 0, false, job);
    if (!t.wait_for(start_prompt, 1, false) || !t.wait_echo(false))
        return "no start key wait";
    t.type(start);
    if (!t.wait_for(question_1_end, 1, false))
        return "no question 1 after the start key";
    t.type(all_answers);
    if (!t.wait_for(results_end, 1, false) || !t.wait_echo(false))
        return "no results after the start key";
    if (count(t.screen(), question_1) != 1 ||
        t.screen().find("a= 2 b= 2 c= 2 d= 1 e= 1\r\n") == std::string::npos)
        return "the start key reached the answers";
    t.type(final_key);
    if (!t.ends_within(10000) || !WIFEXITED(t.status()) || WEXITSTATUS(t.status()) != 0 ||
        !t.wait_restored())
        return "no clean exit after the final key";
    std::string rest = t.unread_input();
    return rest.empty() ? "" : "the final key left " + testing::PrintToString(rest);
}

// job: as for pty_session.
void expect_every_key_taken_whole(const char *job = nullptr)
{
    std::vector<std::string> keys = terminfo_control_keys();
    ASSERT_GT(keys.size(), 1000u) << "the terminfo database: apt-get install ncurses-term";
    // (Not those that begin with a signal key, Ctrl-C, Ctrl-\ or Ctrl-Z: they send it.)
    auto signal_key = [](const std::string &key) {
        return key[0] == '\x03' || key[0] == '\x1c' || key[0] == '\x1a';
    };
    keys.erase(std::remove_if(keys.begin(), keys.end(), signal_key), keys.end());
    std::size_t sessions = (keys.size() + 1) / 2;
    std::vector<std::string> wrong(sessions);
    std::vector<std::size_t> failed = failing(sessions, 16, [&](std::size_t i) {
        wrong[i] = taken_whole(keys[2 * i], keys[(2 * i + 1) % keys.size()], job);
        return wrong[i].empty();
    });
    std::string named;
    for (std::size_t i : failed)
        named += "\n  " + testing::PrintToString(keys[2 * i]) + ", then " +
                 testing::PrintToString(keys[(2 * i + 1) % keys.size()]) + ": " + wrong[i];
    EXPECT_TRUE(failed.empty()) << failed.size() << " of " << sessions << " sessions:" << named;
}

TEST(Terminal, EveryTerminfoKeyIsTakenWholeAtAKeyWait)
{
    expect_every_key_taken_whole();
}

// Darwin's poll does not support terminals: on one it answers POLLNVAL at
// once, whatever there is to read. The same with a poll() that answers so.
TEST(Terminal, EveryTerminfoKeyIsTakenWholeWhereAPollCannotWatchATerminal)
{
    expect_every_key_taken_whole("LD_PRELOAD=" CHISEI_DARWIN_POLL " exec \"$0\"");
}

// The Windows build's _getch on wine's console: an extended key comes as
// two codes (0xE0 or 0 first), alpha as the single code 0xE0 (code page 437).
// The letters show on every code page; an a grave typed as the answer is
// one character, and no answer; redirected, the output is code page 850.
const char a_grave_answer[] = "x\xC3\xA0\r";
// After the start key, a line longer than the console read's buffer (512
// characters): blanks, and a wrong answer at its end.
const std::string long_line = "x" + std::string(599, ' ') + "x\r";
const start_key wine_keys[] = {
    {"letter", "x"},
    {"up_arrow", "\x1b[A"},
    {"home", "\x1b[H"},
    {"delete", "\x1b[3~"},
    {"alt_up", "\x1b[1;3A"},
    {"e_grave", "\xC3\xA8"},
    {"alpha_coded_0xe0", "\xCE\xB1"},
    {"code_page_850", "x", 1, false, "", 850},
    {"code_page_437", "x", 1, false, "", 437},
    {"code_page_852", "x", 1, false, "", 852},
    {"code_page_866", "x", 1, false, "", 866},
    {"code_page_1252", "x", 1, false, "", 1252},
    {"code_page_932", "x", 1, false, "", 932},
    {"code_page_65001", "x", 1, false, "", 65001},
    {"a_grave_answer_852", a_grave_answer, 2, false, "", 852},
    {"a_grave_answer_65001", a_grave_answer, 2, false, "", 65001},
    {"e_grave_answer", "x\xC3\xA8\r", 2},
    {"sharp_s_answer", "x\xC3\x9F\r", 2},
    {"cyrillic_de_answer", "x\xD0\xB4\r", 2},
    {"emoji_answer", "x\xF0\x9F\x90\x99\r", 2},
    {"long_line_at_question_1", long_line.c_str(), 2},
    {"up_and_enter_at_question_1", "x", 1, false, "", 0, false, up_and_enter},
    {"up_left_and_answers_at_question_1", "x", 1, false, "", 0, false, up_left_and_answers},
    {"to_a_file_852", "x", 1, false, "", 852, true},
};

void PrintTo(const start_key &k, std::ostream *os)
{
    *os << k.name;
}

// A session whose intro is shown; wine, rarely, fails to start, and gets
// one more try.
std::unique_ptr<pty_session> started(int code_page = 0, bool to_file = false)
{
    auto t = std::make_unique<pty_session>(0, code_page, to_file);
    if (t->wine() && !t->wait_for(start_prompt, 1, false))
        t = std::make_unique<pty_session>(0, code_page, to_file);
    return t;
}

// The lines with an accented letter, as the screen shows them (or, in a
// file, as code page 850 bytes).
std::vector<std::string> accented_lines(const start_key &key)
{
    std::vector<std::string> lines = {"Alla fine apparir\xC3\xA0 il tuo profilo\r\n",
                                      "Qual \xC3\xA8 il tuo piatto preferito?\r\n\r\na)",
                                      "Qual \xC3\xA8 il tuo programma preferito in tv?\r\n",
                                      "a) mi si \xC3\xA8 rotto un tentacolo sciando\r\n",
                                      "Nella tua casa cosa non pu\xC3\xB2 mancare?\r\n"};
    if (key.to_file)
        for (std::string &line : lines)
            line = in_cp850(line);
    return lines;
}

class StartKey : public testing::TestWithParam<start_key> {};

TEST_P(StartKey, IsTakenWholeAndNothingMore)
{
    const start_key &key = GetParam();
    std::unique_ptr<pty_session> session = started(key.code_page, key.to_file);
    pty_session &t = *session;
    if (key.early) {
        t.type(key.codes);
    } else {
        ASSERT_TRUE(t.wait_for(start_prompt));
        ASSERT_NO_FATAL_FAILURE(at_the_wait(t, key.codes));
        if (*key.later) {
            usleep(10000);
            t.type(key.later);
        }
    }
    ASSERT_NO_FATAL_FAILURE(answer_all(t, key.question_1_shown, key.answers));
    std::string q1 = accented_lines(key)[1];
    EXPECT_EQ(count(t.screen(), q1), key.question_1_shown);
    EXPECT_NE(t.screen().find(start_prompt + ("\r\n" + q1)), std::string::npos);
    if (key.to_file) { // every line end a CR LF
        EXPECT_EQ(count(t.screen(), "\n"), count(t.screen(), "\r\n"));
    } else if (key.answers == all_answers) { // the echo of the answers
        EXPECT_NE(t.screen().find(std::string(question_1_end) + "abcdeabc\r\n"), std::string::npos);
    }
    EXPECT_NE(t.screen().find("a= 2 b= 2 c= 2 d= 1 e= 1\r\n"), std::string::npos);
    for (const std::string &line : accented_lines(key))
        EXPECT_NE(t.screen().find(line), std::string::npos) << line;
    // Still waiting: no code of the start key is left over for the last wait.
    EXPECT_FALSE(t.ends_within(t.wine() ? 500 : 0));
    finish(t);
}

INSTANTIATE_TEST_SUITE_P(Keys, StartKey, testing::ValuesIn(start_keys), row_name<start_key>);

INSTANTIATE_TEST_SUITE_P(WineConsole, StartKey, testing::ValuesIn(wine_keys), row_name<start_key>);

// The answer input ended at the keyboard: the quiz stops after the question
// it left open, with status 1.
struct input_end {
    const char *name;
    const char *keys; // typed once question 1 is shown
    int blocks;       // question blocks shown in all
};

const input_end input_ends[] = {
    {"ctrl_d_at_the_start_of_a_line", "\x04", 1},
    {"ctrl_d_after_two_answers", "ab\x04\x04", 3},
};

// On a Windows console, Ctrl-Z and Enter.
const input_end wine_input_ends[] = {
    {"ctrl_z_at_the_start_of_a_line", "\x1a\r", 1},
    {"ctrl_z_after_two_answers", "ab\x1a\r", 3},
};

void PrintTo(const input_end &e, std::ostream *os)
{
    *os << e.name;
}

class InputEnds : public testing::TestWithParam<input_end> {};

TEST_P(InputEnds, AfterTheQuestionLeftOpen)
{
    const input_end &e = GetParam();
    std::unique_ptr<pty_session> session = started();
    pty_session &t = *session;
    ASSERT_NO_FATAL_FAILURE(at_the_wait(t, "x"));
    ASSERT_TRUE(t.wait_for(question_1_end));
    if (t.wine())
        t.disable_suspend_key();
    t.type(e.keys);
    ASSERT_TRUE(t.wait_exit());
    EXPECT_TRUE(WIFEXITED(t.status()) && WEXITSTATUS(t.status()) == 1) << t.status();
    t.wait_for("\r\ne) ", e.blocks); // wine's console may draw the last one after the exit
    EXPECT_EQ(count(t.screen(), "\r\ne) "), e.blocks);
    EXPECT_TRUE(t.wait_restored());
}

INSTANTIATE_TEST_SUITE_P(Keys, InputEnds, testing::ValuesIn(input_ends), row_name<input_end>);

INSTANTIATE_TEST_SUITE_P(WineConsole, InputEnds, testing::ValuesIn(wine_input_ends),
                         row_name<input_end>);

TEST(Terminal, AnswerLineCanBeEdited)
{
    pty_session t;
    ASSERT_NO_FATAL_FAILURE(at_the_wait(t, "s"));
    ASSERT_TRUE(t.wait_for(question_1_end));
    t.type("x\x7f"
           "a\r");
    ASSERT_TRUE(t.wait_for("Di che cosa hai paura?"));
    EXPECT_EQ(count(t.screen(), question_1), 1);
    t.type("bcdeabc\r");
    ASSERT_TRUE(t.wait_for(results_end));
    finish(t);
}

// A signal during a wait ends chisei the usual way and leaves the terminal
// as it was.
struct interruption {
    const char *name;
    bool at_end; // during the final wait rather than the first
    std::string keys;
    int sig;                   // sent with kill() when no keys
    int expected;              // the signal that ends chisei (or its script); 0: it goes on
    int ignored = 0;           // a signal chisei inherits as ignored
    const char *job = nullptr; // a script that runs chisei ($0), as its user would
};

const interruption interruptions[] = {
    {"ctrl_c_at_start", false, "\x03", 0, SIGINT},
    {"ctrl_c_at_end", true, "\x03", 0, SIGINT},
    {"ctrl_backslash_at_start", false, "\x1c", 0, SIGQUIT},
    {"sigterm_at_start", false, "", SIGTERM, SIGTERM},
    {"sighup_at_start", false, "", SIGHUP, SIGHUP},
    {"sigterm_at_end", true, "", SIGTERM, SIGTERM},
    {"sighup_ignored_as_by_nohup", false, "", SIGHUP, 0, SIGHUP},
    // Ctrl-C goes to the whole job, as from the terminal: the script ends
    // there too. With the signal keys off, or Ctrl-C disabled, Ctrl-C and
    // Ctrl-Space (NUL, which a disabled key is set to on Linux) are keys.
    {"ctrl_c_in_a_script", false, "\x03", 0, SIGINT, 0, "\"$0\"; echo went on"},
    {"ctrl_c_with_the_signal_keys_off", false, "\x03", 0, 0, 0, "stty -isig; \"$0\"; stty isig"},
    {"ctrl_space_with_ctrl_c_disabled", false, std::string(1, '\0'), 0, 0, 0,
     "stty intr undef; \"$0\"; stty intr ^C"},
};

void PrintTo(const interruption &i, std::ostream *os)
{
    *os << i.name;
}

class Interrupted : public testing::TestWithParam<interruption> {};

TEST_P(Interrupted, RestoresTheTerminal)
{
    const interruption &i = GetParam();
    pty_session t(i.ignored, 0, false, i.job);
    if (i.at_end) {
        ASSERT_NO_FATAL_FAILURE(at_the_wait(t, "s"));
        ASSERT_NO_FATAL_FAILURE(answer_all(t));
    }
    ASSERT_TRUE(t.wait_echo(false));
    if (!i.keys.empty())
        t.type(i.keys);
    else
        t.kill(i.sig);
    if (i.expected == 0) { // the wait goes on (or the key started the quiz)
        EXPECT_FALSE(t.ends_within(100));
        if (i.keys.empty()) {
            ASSERT_NO_FATAL_FAILURE(at_the_wait(t, "s"));
        }
        ASSERT_NO_FATAL_FAILURE(answer_all(t));
        finish(t);
        return;
    }
    ASSERT_TRUE(t.wait_exit());
    EXPECT_TRUE(WIFSIGNALED(t.status()) && WTERMSIG(t.status()) == i.expected) << t.status();
    EXPECT_TRUE(t.wait_restored());
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted, testing::ValuesIn(interruptions),
                         row_name<interruption>);

// Stopped during a wait and continued: the wait goes on, without echo.
struct stop {
    const char *name;
    const char *keys; // Ctrl-Z: chisei gives the shell its settings back itself
    int sig;          // SIGSTOP from outside: the shell puts its settings back
};

const stop stops[] = {{"ctrl_z", "\x1a", 0}, {"sigstop", nullptr, SIGSTOP}};

void PrintTo(const stop &s, std::ostream *os)
{
    *os << s.name;
}

class Stopped : public testing::TestWithParam<stop> {};

TEST_P(Stopped, ThenContinuedWaitsAgain)
{
    const stop &s = GetParam();
    pty_session t;
    ASSERT_TRUE(t.wait_echo(false));
    if (s.keys)
        t.type(s.keys);
    else
        t.kill(s.sig);
    ASSERT_TRUE(t.wait_stopped());
    if (!s.keys)
        t.restore_settings();
    EXPECT_TRUE(same_settings(t.settings(), t.at_start())); // the shell has its terminal back
    t.kill(SIGCONT);
    ASSERT_NO_FATAL_FAILURE(at_the_wait(t, "s")); // waiting again, without echo
    ASSERT_NO_FATAL_FAILURE(answer_all(t));
    EXPECT_NE(t.screen().find(std::string(start_prompt) + "\r\n" + question_1), std::string::npos);
    finish(t);
}

INSTANTIATE_TEST_SUITE_P(Signals, Stopped, testing::ValuesIn(stops), row_name<stop>);

} // namespace
