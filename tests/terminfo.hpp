// What the terminals of the terminfo database send for their keys, as the
// terminfo library reads every description (Debian: ncurses-base and
// ncurses-term), and what the tests share to go over all of them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Every distinct key, in every description, that begins with a control code
// (C0, as ESC or a Wyse's Ctrl-A; DEL; C1, as an 8-bit CSI): the values of
// the string capabilities named k... (kf1, kcuu1, and the extended ones such
// as kUP3), but kmous, which is a mouse report's prefix.
std::vector<std::string> terminfo_control_keys();

// Calls check(i) for i from 0 to count - 1 on a few threads at once, and
// returns the values of i for which it returned false, in order.
std::vector<std::size_t> failing(std::size_t count, int threads,
                                 const std::function<bool(std::size_t)> &check);
