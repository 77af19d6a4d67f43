// The console operations over two byte streams, for a platform whose
// standard output takes whole buffers and whose answers come in as bytes
// (POSIX, and the browser). Output is gathered in a buffer of our own and
// handed over once per line, at end_line; answers are read through a buffer
// of our own, so that what one answer leaves stays there for the next.
//
// The platform's source file defines these two, then includes this header:
//   bool hand_over(const char *p, std::size_t len);
//       writes all of it; false if the platform refused
//   std::size_t take_in(unsigned char *buf, std::size_t size);
//       the next bytes of the answer input; 0 once it has ended
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "console.hpp"
#include "cp850.hpp"

namespace {

// ---- Output -------------------------------------------------------------

char out[1024];
std::size_t out_len;
bool out_bad;

void flush()
{
    if (out_len > 0 && !hand_over(out, out_len))
        out_bad = true;
    out_len = 0;
}

void append(const char *p, std::size_t len)
{
    while (len > 0) {
        if (out_len == sizeof out)
            flush();
        std::size_t n = std::min(len, sizeof out - out_len);
        std::memcpy(out + out_len, p, n);
        out_len += n;
        p += n;
        len -= n;
    }
}

void put(unsigned ch)
{
    if (out_len == sizeof out)
        flush();
    out[out_len++] = static_cast<char>(ch);
}

// ---- Answers ------------------------------------------------------------

// A ring: the byte at position p of the input is in[p % sizeof in]; in_pos
// is the next byte's position, in_len the position past the last byte read.
unsigned char in[4096];
std::size_t in_pos, in_len;
bool in_ended;  // the platform has no more input to give
bool in_failed; // and all it gave has been taken: every read fails from now on

// The byte k places ahead in the answer input, without taking it: more is
// read after what is left, as far as needed. -1 when the input ends first.
int peek(std::size_t k = 0)
{
    while (in_len - in_pos <= k && !in_ended) {
        std::size_t at = in_len % sizeof in, held = in_len - in_pos;
        std::size_t got = take_in(in + at, std::min(sizeof in - at, sizeof in - held));
        in_ended = got == 0;
        in_len += got;
    }
    return in_pos + k < in_len ? in[(in_pos + k) % sizeof in] : -1;
}

bool is_space(int b)
{
    return b == ' ' || (b >= '\t' && b <= '\r');
}

bool is_parameter(int b)
{
    return b >= 0x30 && b <= 0x3F;
}

bool is_intermediate(int b)
{
    return b >= 0x20 && b <= 0x2F;
}

bool is_final(int b)
{
    return b >= 0x40 && b <= 0x7E;
}

// The longest escape sequence taken as a key: ESC [, 31 parameter bytes and
// its final byte.
const std::size_t longest_sequence = 34;

// The length of the key that a terminal sends as an escape sequence at the
// front of the input, whole on its line; 0 if there is none. Its shapes:
//   ESC [ parameters intermediates final  ECMA-48's control sequence: the
//                                         arrows, F5, Ctrl+Up (ESC [ 1 ; 5 A)
//   ESC [ parameters $                    rxvt's Shift keys (ESC [ 7 $)
//   ESC [ [ and a capital letter          the Linux console's F1 to F5
//   ESC [ [                               the SCO console's F42 ([ is a final)
//   ESC O parameters final                F1 (ESC O P), konsole's Shift+F1
// and each of them after one more ESC, for the key held with Alt. Read a
// byte at a time, as far as the shape goes (so as not to wait for input
// that a line does not need); shape is '[' or 'O', 'L' for the Linux
// console's, 'I' once intermediates have come.
std::size_t sequence_length()
{
    std::size_t start = 0; // 1 after the ESC for Alt
    int shape = 0;
    for (std::size_t k = 0; k - start < longest_sequence; k++) {
        int b = peek(k);
        std::size_t at = k - start;
        if (k == 0) {
            if (b != 0x1B)
                return 0;
        } else if (at == 1 && b == 0x1B && start == 0) {
            start = 1;
        } else if (at == 1 && b != '[' && b != 'O') {
            return 0;
        } else if (at == 1 || (at == 2 && shape == '[' && b == '[')) {
            shape = at == 1 ? b : 'L';
        } else if (shape == 'L') {
            return b >= 'A' && b <= 'Z' ? k + 1 : k;
        } else if (shape == '[' && b == '$') {
            return k + 1;
        } else if (shape != 'O' && is_intermediate(b)) {
            shape = 'I';
        } else if (!is_parameter(b) || shape == 'I') {
            return is_final(b) ? k + 1 : 0;
        }
    }
    return 0;
}

// How many bytes at the front of the input are no answer: one for white
// space, a whole escape sequence (a key such as an arrow adds nothing to
// an answer line, as on the other consoles), or 0.
std::size_t skippable()
{
    return is_space(peek()) ? 1 : sequence_length();
}

// How many continuation bytes a UTF-8 lead byte announces.
int continuation_count(int lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 1;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 2;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 3;
    return 0;
}

bool is_continuation(int b)
{
    return b >= 0x80 && b <= 0xBF;
}

} // namespace

void write_text(const char *s)
{
    if (!out_bad)
        append(s, std::strlen(s));
}

// The terminal shows UTF-8: the code page 850 letter goes out as such.
void write_char(char ch)
{
    if (out_bad)
        return;
    unsigned char utf8[3];
    int len = cp850::to_utf8(static_cast<unsigned char>(ch), utf8);
    for (int i = 0; i < len; i++)
        put(utf8[i]);
}

void write_int(int v)
{
    if (out_bad)
        return;
    char digits[10];
    int len = 0;
    unsigned u = v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v);
    do {
        digits[len++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u > 0);
    if (v < 0)
        put('-');
    while (len > 0)
        put(static_cast<unsigned char>(digits[--len]));
}

void end_line()
{
    put('\n');
    flush();
}

bool output_ok()
{
    return !out_bad;
}

bool read_answer(char &slot)
{
    if (in_failed)
        return false;
    if (out_len > 0)
        flush();
    for (std::size_t skip; (skip = skippable()) > 0;)
        in_pos += skip;
    int b = peek();
    if (b < 0) {
        in_failed = true;
        return false;
    }
    in_pos++;
    slot = static_cast<char>(b);
    // A character typed as several UTF-8 bytes is one answer.
    for (int more = continuation_count(b); more > 0 && is_continuation(peek()); more--)
        in_pos++;
    return true;
}
