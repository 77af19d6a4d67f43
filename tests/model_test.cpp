// Seeded random answer inputs through the real binary, each checked against
// a small model of the answer rules written here, apart from the program.
#include <random>

#include <gtest/gtest.h>

#include "run.hpp"

namespace {

// What the rules say a run with this input shows.
struct outcome {
    int blocks = 0;
    int tallies[5] = {};
    bool complete = false;
};

bool blank(unsigned char b)
{
    return b == ' ' || (b >= 9 && b <= 13);
}

int continuation_bytes(unsigned char lead)
{
    return lead >= 0xC2 && lead <= 0xDF   ? 1
           : lead >= 0xE0 && lead <= 0xEF ? 2
           : lead >= 0xF0 && lead <= 0xF4 ? 3
                                          : 0;
}

outcome model(const std::string &input)
{
    outcome o;
    std::size_t i = 0;
    int answered = 0;
    while (answered < 8) {
        o.blocks++; // the question is shown, then one character is read
        while (i < input.size() && blank(static_cast<unsigned char>(input[i])))
            i++;
        if (i == input.size())
            return o;
        unsigned char ch = static_cast<unsigned char>(input[i++]);
        for (int more = continuation_bytes(ch); more > 0 && i < input.size(); more--) {
            unsigned char next = static_cast<unsigned char>(input[i]);
            if (next < 0x80 || next > 0xBF)
                break;
            i++;
        }
        if (ch >= 'a' && ch <= 'e') {
            o.tallies[ch - 'a']++;
            answered++;
        }
    }
    o.complete = true;
    return o;
}

std::string tallies_line(const outcome &o)
{
    const char *labels[] = {"a= ", " b= ", " c= ", " d= ", " e= "};
    std::string line;
    for (int p = 0; p < 5; p++)
        line += labels[p] + std::to_string(o.tallies[p]);
    return line;
}

std::string profiles_shown(const outcome &o)
{
    int top = *std::max_element(std::begin(o.tallies), std::end(o.tallies));
    std::string shown;
    for (int p = 0; p < 5; p++)
        if (o.tallies[p] == top)
            shown += static_cast<char>('A' + p);
    return shown;
}

// Pieces that random inputs are made of: answers of both cases, digits, every
// kind of white space, UTF-8 characters whole and broken, NUL and 0xFF.
const std::string pieces[] = {"a",
                              "b",
                              "c",
                              "d",
                              "e",
                              "a",
                              "b",
                              "c",
                              "d",
                              "e",
                              "A",
                              "E",
                              "f",
                              "z",
                              "0",
                              "9",
                              "?",
                              " ",
                              "\t",
                              "\n",
                              "\r\n",
                              "\v",
                              "\f",
                              "\r",
                              "\n\n",
                              "\xFF",
                              "\x80",
                              "\xBF",
                              "\xC3",
                              "\xC3\xA8",
                              "\xE2\x82",
                              "\xE2\x82\xAC",
                              "\xF0\x9F\x90\x99",
                              std::string(1, '\0')};

std::string random_input(std::mt19937 &rng)
{
    std::uniform_int_distribution<std::size_t> piece(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 40);
    std::string input;
    for (int n = length(rng); n > 0; n--)
        input += pieces[piece(rng)];
    return input;
}

TEST(RandomInputs, AgreeWithTheModel)
{
    std::mt19937 rng(20261208);
    for (int run = 0; run < 300; run++) {
        std::string input = random_input(rng);
        SCOPED_TRACE(testing::PrintToString(input));
        outcome expected = model(input);
        run_result result = run_chisei(input);
        shown s = read_screen(result.out);
        EXPECT_EQ(s.blocks, expected.blocks);
        EXPECT_EQ(result.status, expected.complete ? 0 : 1);
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(s.tallies, expected.complete ? tallies_line(expected) : "");
        EXPECT_EQ(s.profiles, expected.complete ? profiles_shown(expected) : "");
        if (HasFailure())
            break;
    }
}

} // namespace
