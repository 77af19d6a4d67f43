// The console: the six operations the quiz uses to talk to the person at
// the keyboard, one implementation per platform.
#pragma once

// Output. Text goes to standard output; nothing reaches the screen until
// end_line, which ends the line and flushes. Once the platform refuses a
// write, write_text, write_char and write_int write nothing more.
void write_text(const char *s);
void write_char(char ch); // one code page 850 byte
void write_int(int v);
void end_line();

// Answers. Skips white space on standard input and stores the next
// character in slot. Returns false, slot untouched, once the input has ended.
bool read_answer(char &slot);

// Waits for one key on the keyboard itself, without echo and without Enter.
// Returns at once when there is no keyboard to read. The key is returned,
// or -1 when there was none.
int wait_key();

// False once any write or flush to standard output has failed.
bool output_ok();
