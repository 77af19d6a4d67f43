// The whole quiz through the real binary: complete transcripts compared byte
// for byte with hand-written files, then a table of answer inputs.
#include <gtest/gtest.h>

#include "run.hpp"

namespace {

std::string expected(const char *name)
{
    return as_written(read_file(std::string(CHISEI_TEST_DIR "/expected/") + name));
}

TEST(Transcript, FourProfilesAToD)
{
    run_result run = run_chisei("a\na\nb\nb\nc\nc\nd\nd\n");
    EXPECT_EQ(run.out, expected("aabbccdd.txt"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

TEST(Transcript, ProfileE)
{
    run_result run = run_chisei("e\ne\ne\ne\ne\ne\ne\ne\n");
    EXPECT_EQ(run.out, expected("eeeeeeee.txt"));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

struct answer_case {
    const char *name;
    std::string input;
    const char *tallies;
    const char *profiles;
    int blocks;
    int status;
    int windows_blocks = 0; // when the Windows build differs: it reads bytes, not UTF-8
    output_to out = output_to::pipe;
    input_from in = input_from::pipe;
};

const answer_case answer_cases[] = {
    {"all_a", "a\na\na\na\na\na\na\na\n", "a= 8 b= 0 c= 0 d= 0 e= 0", "A", 8, 0},
    {"three_way_tie", "a\nb\nc\nd\ne\na\nb\nc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0},
    {"four_way_tie", "a\na\nb\nb\nc\nc\nd\nd\n", "a= 2 b= 2 c= 2 d= 2 e= 0", "ABCD", 8, 0},
    {"tie_d_e", "e\ne\ne\nd\nd\nd\nc\nb\n", "a= 0 b= 1 c= 1 d= 3 e= 3", "DE", 8, 0},
    {"upper_case_rejected", "A\na\nB\nb\nC\nc\nD\nd\nE\ne\na\na\na\n", "a= 4 b= 1 c= 1 d= 1 e= 1",
     "A", 13, 0},
    {"xyz_at_question_1", "xyz\nabcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 11, 0},
    {"eight_on_one_line", "abcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0},
    {"b_space_x_at_question_2", "a\nb x\nc\nd\ne\na\nb\nc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 9,
     0},
    {"empty_lines", "\n\n\na\n\nb\n\n\nc\nd\n\ne\n\na\nb\nc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC",
     8, 0},
    {"tabs_and_crlf", "\ta\r\n \t b\r\n\v\fc\r\nd\r\ne\r\na\r\nb\r\nc\r\n",
     "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0},
    {"digits_and_punctuation", "1?.a\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 11, 0},
    {"utf8_two_bytes", "\xC3\xA8\nabcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 9, 0, 10},
    {"utf8_three_bytes",
     "\xE2\x82\xAC"
     "abcdeabc\n",
     "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 9, 0, 11},
    {"utf8_four_bytes",
     "\xF0\x9F\x90\x99"
     "abcdeabc\n",
     "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 9, 0, 12},
    {"code_page_850_e_grave", "\x8A\nabcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 9, 0},
    {"utf8_cut_short",
     "\xC3"
     "abcdeabc\n",
     "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 9, 0},
    {"stray_continuation_bytes",
     "\x80\xBF"
     "abcdeabc\n",
     "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 10, 0},
    {"nul_and_ff", std::string("\0\xFF", 2) + "abcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 10,
     0},
    // C0 and C1 never lead a UTF-8 character: each byte is a wrong answer.
    {"c0_80", "\xC0\x80\nabcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 10, 0},
    {"c1_bf", "\xC1\xBF\nabcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 10, 0},
    // A key that a terminal sends as an escape sequence (Up, Left) adds
    // nothing; a lone ESC is a wrong answer. Windows reads each byte.
    {"up_arrow_then_enter", "\x1b[A\nabcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0, 11},
    {"up_left_then_answer", "\x1b[A\x1b[Da\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0,
     14},
    {"f1_then_answer", "\x1bOPa\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0, 11},
    {"lone_escape", "\x1b\nabcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 9, 0},
    // Keys with parameters (Ctrl+Up, Alt+Up, F5, Delete), each before the
    // answer on its line: Windows shows the question again for each byte.
    {"ctrl_up_then_answer", "\x1b[1;5Aa\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0, 14},
    {"alt_up_then_answer", "\x1b[1;3Aa\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0, 14},
    {"f5_then_answer", "\x1b[15~a\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0, 13},
    {"delete_then_answer", "\x1b[3~a\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0, 12},
    // A sequence is taken whole up to 34 bytes (ESC [, 31 parameter bytes,
    // its final byte), and one more ESC for Alt; a longer one is no key, and
    // each of its bytes is a wrong answer, as on Windows.
    {"longest_sequence_then_answer", "\x1b[" + std::string(31, '1') + "Aa\nbcdeabc\n",
     "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0, 42},
    {"longest_sequence_with_alt_then_answer", "\x1b\x1b[" + std::string(31, '1') + "Aa\nbcdeabc\n",
     "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0, 43},
    {"sequence_a_byte_too_long", "\x1b[" + std::string(32, '1') + "Aa\nbcdeabc\n",
     "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 43, 0},
    // A sequence ends at the line end: an unfinished one is no key (ESC and
    // the byte after it are wrong answers), and the next line's answer stays
    // an answer. ESC O takes only a final byte.
    {"unfinished_sequence_at_line_end", "\x1b[\na\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC",
     10, 0},
    // After an intermediate byte only a final byte (or more intermediates)
    // may come: this is no key, and its a is an answer.
    {"parameter_after_intermediate", "\x1b[ 1a\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 11,
     0},
    {"escape_o_then_line_feed", "\x1bO\na\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 10, 0},
    {"escape_o_then_blank_and_answer", "\x1bO a\nbcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 10,
     0},
    {"arrow_across_the_buffer_edge", std::string(4095, ' ') + "\x1b[A\nabcdeabc\n",
     "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0, 11},
    {"no_final_newline", "abcdeabc", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0},
    {"ends_at_question_4", "a\nb\nc\n", "", "", 4, 1},
    {"ends_in_a_repeat", "a\nb\nX\n", "", "", 4, 1},
    {"ends_after_white_space", "a \n\t\n", "", "", 2, 1},
    {"empty_input", "", "", "", 1, 1},
    // Windows reads its standard input in text mode, where Ctrl-Z ends it.
    {"ctrl_z_among_the_answers",
     "abc\x1a"
     "defgh\n",
     "", "", 10, 1, 4},
    // Handed over non-blocking: a full pipe or a late answer means "not yet".
    {"nonblocking_output_read_late", std::string(3000, 'x') + "abcdeabc\n",
     "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 3008, 0, 0, output_to::nonblocking_slow_reader},
    {"nonblocking_input_arriving_late", "abcdeabc\n", "a= 2 b= 2 c= 2 d= 1 e= 1", "ABC", 8, 0, 0,
     output_to::pipe, input_from::nonblocking_late},
};

void PrintTo(const answer_case &t, std::ostream *os)
{
    *os << t.name;
}

class Answers : public testing::TestWithParam<answer_case> {};

TEST_P(Answers, ShowBlocksTalliesAndProfiles)
{
    const answer_case &t = GetParam();
    run_result run = run_chisei(t.input, t.out, t.in);
    shown s = read_screen(run.out);
    EXPECT_EQ(s.tallies, t.tallies);
    EXPECT_EQ(s.profiles, t.profiles);
    EXPECT_EQ(s.blocks, windows_build() && t.windows_blocks ? t.windows_blocks : t.blocks);
    EXPECT_EQ(run.status, t.status);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.err, "");
    // An input that ends early stops right after the question it left open.
    if (t.status != 0) {
        std::vector<std::string> lines = lines_of(run.out);
        EXPECT_TRUE(!lines.empty() && lines.back().rfind("e) ", 0) == 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Answers, testing::ValuesIn(answer_cases),
                         [](const testing::TestParamInfo<answer_case> &info) {
                             return std::string(info.param.name);
                         });

std::string channel_name(const testing::TestParamInfo<output_to> &info)
{
    const char *names[] = {"pipe", "dev_full", "closed", "no_reader", "read_late", "refused_once"};
    return names[static_cast<int>(info.param)];
}

} // namespace

void PrintTo(output_to out, std::ostream *os)
{
    *os << channel_name({out, 0});
}

namespace {

// A failed output is reported by the exit status, never by a signal. Once a
// write has failed, no more text is written, only the line ends (82 in a
// whole run).
class FailedOutput : public testing::TestWithParam<output_to> {};

TEST_P(FailedOutput, EndsWithStatusOne)
{
    if (web_build() && GetParam() == output_to::closed)
        GTEST_SKIP() << "not tested: node puts /dev/null in place of a closed standard output "
                        "before any script of its runs";
    run_result run = run_chisei("abcdeabc\n", GetParam());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.err, "");
    if (GetParam() == output_to::refusing_one_write) { // the third line is refused
        EXPECT_EQ(run.out, "Rispondi alle domande digitando il numero della la lettera "
                           "corrispondente.\nDopo ogni risposta per confermare batti INVIO.\n" +
                               std::string(82 - 3, '\n'));
    }
}

INSTANTIATE_TEST_SUITE_P(Channels, FailedOutput,
                         testing::Values(output_to::dev_full, output_to::pipe_without_reader,
                                         output_to::closed, output_to::refusing_one_write),
                         channel_name);

} // namespace
