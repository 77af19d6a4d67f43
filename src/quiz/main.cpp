// chisei: eight questions, five profiles, and the profile (or profiles)
// that got the most answers.
#include <cassert>

#include "../console/console.hpp"
#include "quiz_texts.hpp"

static int cont[5]; // answers per profile: cont[0] counts a, ... cont[4] counts e
static int n, m;    // indices of the two counting loops
static int ris;     // the highest tally
static char r[8];   // the eight answers
static char c;      // the accented letter of the next line that needs one

static void write_line(const line &l)
{
    write_text(l.head);
    if (l.tail) {
        write_char(c);
        write_text(l.tail);
    }
    end_line();
}

static void write_question(const question &q)
{
    if (q.accent)
        c = static_cast<char>(q.accent);
    end_line();
    write_line(q.prompt);
    end_line();
    for (const line &option : q.options)
        write_line(option);
}

static bool is_answer(char ch)
{
    return ch >= 'a' && ch <= 'e';
}

// Shows question k until it gets an answer a to e. False if the input ends.
static bool ask(int k)
{
    do {
        write_question(questions[k]);
        if (!read_answer(r[k]))
            return false;
    } while (!is_answer(r[k]));
    return true;
}

static void tally()
{
    n = 0;
    while (n <= 7) {
        if (r[n] == 'a')
            cont[0]++;
        else if (r[n] == 'b')
            cont[1]++;
        else if (r[n] == 'c')
            cont[2]++;
        else if (r[n] == 'd')
            cont[3]++;
        else if (r[n] == 'e')
            cont[4]++;
        n++;
    }
}

static void find_highest()
{
    m = 0;
    while (m <= 4) {
        if (cont[m] >= ris)
            ris = cont[m];
        m++;
    }
}

static void check_invariants()
{
    int sum = 0, sharing = 0;
    for (int i = 0; i < 8; i++)
        assert(is_answer(r[i]));
    for (int i = 0; i < 5; i++) {
        assert(cont[i] <= ris);
        sum += cont[i];
        sharing += cont[i] == ris;
    }
    assert(sum == 8);
    assert(ris >= 2 && ris <= 8);
    assert(sharing >= 1 && sharing <= 4);
    (void)sum;
    (void)sharing;
}

static void write_results()
{
    end_line();
    write_text(results_title);
    end_line();
    for (int i = 0; i < 5; i++) {
        write_text(tally_labels[i]);
        write_int(cont[i]);
    }
    end_line();
}

static void write_profile(const profile &p)
{
    end_line();
    write_text(p.label);
    end_line();
    write_text(p.verdict);
    end_line();
}

int main()
{
    c = static_cast<char>(a_grave);
    for (const line &l : intro)
        write_line(l);
    wait_key();
    for (int k = 0; k < 8; k++)
        if (!ask(k))
            return 1;
    tally();
    find_highest();
    check_invariants();
    write_results();
    for (int i = 0; i < 5; i++)
        if (cont[i] == ris)
            write_profile(profiles[i]);
    wait_key();
    return output_ok() ? 0 : 1;
}
