// The console in a web browser, compiled to WebAssembly. The page (or any
// other host: node, for the tests) hands the program a host object with
// three functions, and the program never sees the terminal itself:
//   write(bytes)  shows one line of output (UTF-8, a view of the program's
//                 memory, valid until it returns); false if it could not
//   read(size)    a promise of the next bytes of the answer input, at most
//                 size of them: a whole line as typed and echoed, or an
//                 empty array once the input has ended; it never rejects
//   key()         a promise of one key, taken raw, without echo; -1 when
//                 there is no keyboard
// The answer read and the key wait suspend the program (Asyncify) until the
// host's promise is kept, so the page stays responsive meanwhile.
#include <cstddef>
#include <emscripten.h>

namespace {

EM_JS(int, host_write, (const char *p, std::size_t len),
      { return Module.host.write(HEAPU8.subarray(p, p + len)) ? 1 : 0; });

EM_ASYNC_JS(int, host_read, (unsigned char *buf, std::size_t size), {
    const bytes = await Module.host.read(size);
    HEAPU8.set(bytes.subarray(0, size), buf);
    return Math.min(bytes.length, size);
});

EM_ASYNC_JS(int, host_key, (), { return await Module.host.key(); });

bool hand_over(const char *p, std::size_t len)
{
    return host_write(p, len) != 0;
}

std::size_t take_in(unsigned char *buf, std::size_t size)
{
    int got = host_read(buf, size);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

} // namespace

#include "stream_console.hpp"

int wait_key()
{
    return host_key();
}
