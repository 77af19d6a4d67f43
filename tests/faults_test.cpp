// Faults on every channel: the program ends with the status its behaviour
// asks for, never with a signal or a hang.
#include <gtest/gtest.h>

#include "run.hpp"

namespace {

TEST(Faults, InputEndingAtEachQuestion)
{
    const std::string answers = "abcdeabc";
    for (std::size_t k = 0; k < 8; k++) {
        SCOPED_TRACE(k);
        run_result run = run_chisei(answers.substr(0, k) + "\n");
        EXPECT_EQ(read_screen(run.out).blocks, static_cast<int>(k) + 1);
        EXPECT_EQ(read_screen(run.out).tallies, "");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.signal, 0);
    }
}

TEST(Faults, StandardInputClosed)
{
    run_result run = run_chisei("", output_to::pipe, input_from::closed);
    EXPECT_EQ(read_screen(run.out).blocks, 1);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.signal, 0);
}

TEST(Faults, StandardInputClosedAndOutputFailing)
{
    run_result run = run_chisei("", output_to::dev_full, input_from::closed);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.signal, 0);
}

// A megabyte on one line before the answers: blank bytes of every kind, with
// rejected characters and UTF-8 characters placed across the input buffer's
// edges.
TEST(Faults, LongLineBeforeTheAnswers)
{
    const std::string blanks = " \t\v\f\r";
    std::string line;
    int letters = 0, euros = 0;
    for (std::size_t i = 0; line.size() < (1u << 20); i++) {
        if (i % 4093 == 0) {
            line += i % 2 ? "\xE2\x82\xAC" : "Z";
            (i % 2 ? euros : letters)++;
        } else {
            line += blanks[i % blanks.size()];
        }
    }
    run_result run = run_chisei(line + "\nabcdeabc\n");
    // Each rejected character shows the question again; the Windows build
    // reads a euro sign's three bytes as three characters.
    int rejected = letters + euros * (windows_build() ? 3 : 1);
    EXPECT_EQ(read_screen(run.out).blocks, rejected + 8);
    EXPECT_EQ(read_screen(run.out).tallies, "a= 2 b= 2 c= 2 d= 1 e= 1");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.signal, 0);
}

TEST(Faults, NulBytesAmongTheAnswers)
{
    const char answers[] = "a\0b\0\0c\nd\0e\na\nb\nc\n";
    run_result run = run_chisei(std::string(answers, sizeof answers - 1));
    EXPECT_EQ(read_screen(run.out).blocks, 8 + 4);
    EXPECT_EQ(read_screen(run.out).tallies, "a= 2 b= 2 c= 2 d= 1 e= 1");
    EXPECT_EQ(run.status, 0);
}

TEST(Faults, OutputFailingAndInputEnding)
{
    for (output_to out : {output_to::dev_full, output_to::closed, output_to::pipe_without_reader}) {
        run_result run = run_chisei("abc", out);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.signal, 0);
    }
}

} // namespace
