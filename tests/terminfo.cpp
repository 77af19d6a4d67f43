#include "terminfo.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <thread>

#include <term.h> // strnames: the names of the standard string capabilities, in order

namespace {

// A compiled description (term(5)): little-endian 16-bit integers, in
// sections that follow each other, each starting on an even byte.
class compiled {
  public:
    explicit compiled(std::string bytes) : d_(std::move(bytes)) {}

    int number(std::size_t at) const
    {
        if (at + 2 > d_.size())
            return -1;
        auto lo = static_cast<unsigned char>(d_[at]), hi = static_cast<unsigned char>(d_[at + 1]);
        return static_cast<short>(lo | hi << 8);
    }
    std::string text(std::size_t at) const
    {
        return at < d_.size() ? std::string(d_.c_str() + at) : std::string();
    }
    std::size_t size() const
    {
        return d_.size();
    }

  private:
    std::string d_;
};

std::size_t even(std::size_t at)
{
    return at + at % 2;
}

bool is_key(const std::string &name)
{
    return name.size() > 1 && name[0] == 'k' && name != "kmous";
}

void add(const std::string &value, std::set<std::string> &keys)
{
    if (!value.empty() && value[0] == '\x1b')
        keys.insert(value);
}

// The keys of one description: its standard string capabilities, then the
// extended ones, whose names follow their values in the extended table.
void add_keys(const compiled &c, std::set<std::string> &keys)
{
    int magic = c.number(0);
    if (magic != 0432 && magic != 01036) // 16-bit or 32-bit numbers
        return;
    std::size_t number_size = magic == 0432 ? 2 : 4;
    int names = c.number(2), booleans = c.number(4), numbers = c.number(6), strings = c.number(8),
        table_size = c.number(10);
    std::size_t offsets = even(12u + names + booleans) + numbers * number_size;
    std::size_t table = offsets + 2u * strings;
    for (int i = 0; i < strings && strnames[i]; i++) {
        int at = c.number(offsets + 2u * i);
        if (at >= 0 && is_key(strnames[i]))
            add(c.text(table + at), keys);
    }
    std::size_t extended = even(table + table_size);
    if (extended + 10 > c.size())
        return;
    int x_booleans = c.number(extended), x_numbers = c.number(extended + 2),
        x_strings = c.number(extended + 4);
    std::size_t x_offsets = even(extended + 10 + x_booleans) + x_numbers * number_size;
    std::size_t x_names = x_offsets + 2u * x_strings;
    std::size_t x_table = x_names + 2u * (x_booleans + x_numbers + x_strings);
    std::size_t names_at = 0; // past the last value
    for (int i = 0; i < x_strings; i++) {
        int at = c.number(x_offsets + 2u * i);
        if (at >= 0)
            names_at = std::max(names_at, at + c.text(x_table + at).size() + 1);
    }
    for (int i = 0; i < x_strings; i++) {
        int at = c.number(x_offsets + 2u * i);
        int name_at = c.number(x_names + 2u * (x_booleans + x_numbers + i));
        if (at >= 0 && name_at >= 0 && is_key(c.text(x_table + names_at + name_at)))
            add(c.text(x_table + at), keys);
    }
}

} // namespace

std::vector<std::string> terminfo_escape_keys()
{
    namespace fs = std::filesystem;
    std::set<std::string> keys;
    for (const char *dir : {"/etc/terminfo", "/lib/terminfo", "/usr/share/terminfo"}) {
        std::error_code error;
        for (fs::recursive_directory_iterator it(dir, error), end; !error && it != end;
             it.increment(error)) {
            if (!it->is_regular_file(error))
                continue;
            std::ifstream file(it->path(), std::ios::binary);
            add_keys(compiled({std::istreambuf_iterator<char>(file), {}}), keys);
        }
    }
    return {keys.begin(), keys.end()};
}

std::string printable(const std::string &key)
{
    std::string shown = "\"";
    for (unsigned char b : key) {
        char code[8];
        std::snprintf(code, sizeof code, b < 0x20 || b >= 0x7F ? "\\x%02x" : "%c", b);
        shown += b == '"' || b == '\\' ? std::string("\\") + static_cast<char>(b) : code;
    }
    return shown + "\"";
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
