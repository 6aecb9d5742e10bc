#pragma once
// What the fuzz targets share: a check that stops the run loudly, and a
// reader that cuts an input into the parameters of a call.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// A property that must hold for every input. A failure prints the condition
// and aborts, so that libFuzzer (or the plain driver) keeps the input.
#define FUZZ_CHECK(cond)                                                                         \
    do {                                                                                         \
        if (!(cond)) {                                                                           \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);    \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

namespace marbrook::fuzz {

// Reads an input front to back: fields end at a NUL byte, the last field is
// the rest of the input.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    // The next field up to (not including) the next NUL, or the rest.
    std::string_view Field() {
        const auto nul = rest_.find('\0');
        const std::string_view field = rest_.substr(0, nul);
        rest_ = nul == std::string_view::npos ? std::string_view{} : rest_.substr(nul + 1);
        return field;
    }
    // One byte, 0 once the input is used up.
    std::uint8_t Byte() {
        if (rest_.empty()) return 0;
        const auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    // Up to `n` bytes.
    std::string_view Bytes(std::size_t n) {
        const std::string_view out = rest_.substr(0, n);
        rest_.remove_prefix(out.size());
        return out;
    }
    [[nodiscard]] std::string_view Rest() const noexcept { return rest_; }
    [[nodiscard]] bool Empty() const noexcept { return rest_.empty(); }

private:
    std::string_view rest_;
};

} // namespace marbrook::fuzz
