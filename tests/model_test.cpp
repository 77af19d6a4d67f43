// Seeded random answer inputs through the real binary, each checked against
// a small model of the answer rules written here, apart from the program;
// then every key of every terminal in the terminfo database at an answer.
#include <random>
#include <regex>

#include <gtest/gtest.h>

#include "run.hpp"
#include "terminfo.hpp"

using namespace std::string_literals;

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

// The keys a line can tell whole: ESC [ or ESC O, or ESC [ [ (whose [ is a
// final byte) and the capital letter of the Linux console's keys if one
// follows; then parameters and a final byte (after ESC [, intermediates
// too), or rxvt's $ right after the parameters; each with or without one
// more ESC before it, for Alt; at most 34 bytes but the one for Alt. Every
// other key stays as it is: its ESC is a wrong answer, as a lone Escape is,
// and the rest is typed text (Alt with a letter: the letter).
const std::regex whole_key(
    "(\x1b?)\x1b(\\[\\[[A-Z]?|\\[(?!\\[)[0-9:;<=>?]*(\\$|[ -/]*[@-~])|O[0-9:;<=>?]*[@-~])");

// The length of the key told whole at input[i], or 0.
std::size_t whole_key_at(const std::string &input, std::size_t i)
{
    std::smatch m;
    if (!std::regex_search(input.begin() + static_cast<std::ptrdiff_t>(i), input.end(), m,
                           whole_key, std::regex_constants::match_continuous))
        return 0;
    std::size_t length = static_cast<std::size_t>(m.length());
    return length - static_cast<std::size_t>(m.length(1)) <= 34 ? length : 0;
}

outcome model(const std::string &input)
{
    outcome o;
    std::size_t i = 0;
    int answered = 0;
    while (answered < 8) {
        o.blocks++; // the question is shown, then one character is read
        for (std::size_t skip;
             i < input.size() &&
             (skip = blank(static_cast<unsigned char>(input[i])) ? 1 : whole_key_at(input, i)) > 0;)
            i += skip;
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
// kind of white space, UTF-8 characters whole and broken, NUL and 0xFF, and
// the bytes of escape sequences.
// clang-format off
const std::string pieces[] = {
    "a", "b", "c", "d", "e", "a", "b", "c", "d", "e", "A", "E", "f", "z", "0", "9", "?",
    " ", "\t", "\n", "\r\n", "\v", "\f", "\r", "\n\n",
    "\xFF", "\x80", "\xBF", "\xC3", "\xC3\xA8", "\xE2\x82", "\xE2\x82\xAC", "\xF0\x9F\x90\x99",
    "\0"s,
    "\x1b", "\x1b[", "\x1bO", "[", ";", "$", "~"};
// clang-format on

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

// Every key that a terminal of the terminfo database sends beginning with a
// control code, pressed on an answer's line before the answer: taken as the
// model says, by batches of keys in one run. A key told whole goes before
// each of the eight answers, eight keys a run; the others, which hold no
// answer letter, all before the answers of one run, where each shows the
// question again for each code and character it holds that is no blank;
// those that hold an answer letter, one a run. A key cut short in its
// terminal's description (a bare ESC [) cannot be told from a sequence that
// the answer ends, and is left out. A batch that disagrees is tried again a
// key a run, to name the keys.
struct batch {
    std::vector<std::string> keys;
    bool between_answers;
};

std::string batch_input(const std::vector<std::string> &keys, bool between_answers)
{
    std::string input, answers = "abcdeabc";
    for (std::size_t i = 0; i < keys.size(); i++)
        input += keys[i] + (between_answers ? answers.substr(i, 1) : "");
    return input + (between_answers ? answers.substr(keys.size()) : answers) + "\n";
}

bool agrees(const std::string &input)
{
    outcome expected = model(input);
    run_result run = run_chisei(input);
    shown s = read_screen(run.out);
    return s.blocks == expected.blocks && run.status == (expected.complete ? 0 : 1) &&
           s.tallies == (expected.complete ? tallies_line(expected) : "");
}

// Whether a final byte after key would end a sequence that key began.
bool cut_short(const std::string &key)
{
    return model(key + "A").blocks == model(key).blocks;
}

std::vector<batch> batches(const std::vector<std::string> &keys)
{
    std::vector<batch> all;
    auto add = [&all](const std::string &key, std::size_t size, bool between) {
        if (all.empty() || all.back().between_answers != between || all.back().keys.size() == size)
            all.push_back({{}, between});
        all.back().keys.push_back(key);
    };
    for (const std::string &key : keys) {
        bool whole = whole_key_at(key, 0) == key.size();
        if (!whole && cut_short(key))
            continue;
        if (whole)
            add(key, 8, true);
        else if (key.find_first_of("abcde") == std::string::npos)
            add(key, 64, false);
        else
            add(key, 1, false);
    }
    return all;
}

TEST(TerminfoKeys, AtAnAnswerAreTakenAsTheModelSays)
{
    std::vector<std::string> keys = terminfo_control_keys();
    ASSERT_GT(keys.size(), 1000u) << "the terminfo database: apt-get install ncurses-term";
    std::vector<batch> all = batches(keys);
    std::vector<std::size_t> failed = failing(all.size(), 4, [&](std::size_t i) {
        return agrees(batch_input(all[i].keys, all[i].between_answers));
    });
    std::string named;
    for (std::size_t i : failed)
        for (const std::string &key : all[i].keys)
            if (!agrees(batch_input({key}, all[i].between_answers)))
                named += "\n  " + testing::PrintToString(key);
    EXPECT_TRUE(failed.empty()) << failed.size() << " of " << all.size() << " batches:" << named;
}

} // namespace
