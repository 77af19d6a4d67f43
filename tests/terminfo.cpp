#include "terminfo.hpp"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include <curses.h>
#include <term.h>
#include <unistd.h>

namespace {

// The keys of the description the library has set up: its string
// capabilities named k... (with their extended names too), but kmous. A
// description holds NUL as \200, which the terminal sends as NUL.
void add_keys(std::set<std::string> &keys)
{
    const TERMTYPE &type = cur_term->type;
    int extended = type.num_Strings - type.ext_Strings;
    for (int i = 0; i < type.num_Strings; i++) {
        std::string name =
            i < extended ? strnames[i]
                         : type.ext_Names[type.ext_Booleans + type.ext_Numbers + i - extended];
        const char *value = tigetstr(name.c_str());
        if (name[0] != 'k' || name == "kmous" || !value || value == reinterpret_cast<char *>(-1))
            continue;
        auto b = static_cast<unsigned char>(value[0]);
        if (b == 0 || (b >= 0x20 && b < 0x7F) || b >= 0xA0)
            continue; // empty, or text
        std::string key = value;
        std::replace(key.begin(), key.end(), '\x80', '\0');
        keys.insert(key);
    }
}

} // namespace

std::vector<std::string> terminfo_control_keys()
{
    namespace fs = std::filesystem;
    std::set<std::string> names, keys;
    for (const char *dir : {"/etc/terminfo", "/lib/terminfo", "/usr/share/terminfo"}) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end;
             it.increment(error))
            if (it->is_regular_file(error))
                names.insert(it->path().filename());
    }
    use_extended_names(TRUE);
    for (const std::string &name : names) {
        int status; // (a hardcopy terminal's is set up, and ERR returned)
        setupterm(name.c_str(), STDOUT_FILENO, &status);
        if (cur_term) {
            add_keys(keys);
            del_curterm(cur_term);
        }
    }
    return {keys.begin(), keys.end()};
}

std::vector<std::size_t> failing(std::size_t count, int threads,
                                 const std::function<bool(std::size_t)> &check)
{
    std::atomic<std::size_t> next{0};
    std::mutex guard;
    std::vector<std::size_t> failed;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; t++)
        workers.emplace_back([&] {
            for (std::size_t i; (i = next++) < count;)
                if (!check(i)) {
                    std::lock_guard<std::mutex> lock(guard);
                    failed.push_back(i);
                }
        });
    for (std::thread &worker : workers)
        worker.join();
    std::sort(failed.begin(), failed.end());
    return failed;
}
