// The driver a fuzz target gets when it is built without libFuzzer (any
// compiler): it runs the target over its seed inputs, then over a fixed
// number of deterministic mutations of them, so that the ordinary test run
// keeps every target as a regression test.
//
//   fuzz_ini [--mutations N] [--seed S] PATH...   (PATH: a file or a folder of inputs)
//
// A failing property aborts; the input that was running is printed first.
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

const std::string* gCurrent = nullptr;
const char* gOrigin = "";

void PrintCurrentInput(int) {
    if (gCurrent) {
        std::fprintf(stderr, "failing input (%s, %zu bytes): \"", gOrigin, gCurrent->size());
        for (const char c : *gCurrent) {
            const auto b = static_cast<unsigned char>(c);
            if (b >= 0x20 && b < 0x7f && b != '"' && b != '\\') std::fputc(b, stderr);
            else std::fprintf(stderr, "\\x%02x", b);
        }
        std::fprintf(stderr, "\"\n");
    }
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
}

// A small deterministic generator (splitmix64): the same seed gives the same
// inputs with every compiler and library.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(Next() % n); }

private:
    std::uint64_t state_;
};

// Byte strings that the parsers give meaning to.
const char* const kTokens[] = {"\n", "\r\n", "\r", "=", "[", "]", ";", "#", "%", "%0a", "%3d", "%2", "\t", " ",
                               "\xEF\xBB\xBF", "\xff", "\xc3", "\xe6\x95", "\xf0\x9f\x98", "obf1:", "00000000",
                               "[Marbrook connection]\n", "format=1\n", "PASSWORD=", "/", "\\", "\\040", "/dev/",
                               "II*\0", "MM\0*", "EHFA_HEADER_TAG", "NCOLS", "AC1015"};

void Mutate(std::string& s, Random& rnd, const std::vector<std::string>& pool) {
    const std::size_t rounds = 1 + rnd.Below(4);
    for (std::size_t r = 0; r < rounds; ++r) {
        switch (rnd.Below(9)) {
        case 0: // flip a bit
            if (!s.empty()) s[rnd.Below(s.size())] ^= static_cast<char>(1u << rnd.Below(8));
            break;
        case 1: // a random byte
            if (!s.empty()) s[rnd.Below(s.size())] = static_cast<char>(rnd.Next());
            break;
        case 2: { // insert random bytes
            const std::size_t n = 1 + rnd.Below(8);
            std::string bytes;
            for (std::size_t i = 0; i < n; ++i) bytes += static_cast<char>(rnd.Next());
            s.insert(rnd.Below(s.size() + 1), bytes);
            break;
        }
        case 3: // erase a range
            if (!s.empty()) {
                const std::size_t at = rnd.Below(s.size());
                s.erase(at, 1 + rnd.Below(s.size() - at));
            }
            break;
        case 4: // repeat a range
            if (!s.empty()) {
                const std::size_t at = rnd.Below(s.size());
                const std::string part = s.substr(at, 1 + rnd.Below(16));
                s.insert(rnd.Below(s.size() + 1), part);
            }
            break;
        case 5: { // splice in part of another input
            const std::string& other = pool[rnd.Below(pool.size())];
            if (!other.empty()) {
                const std::size_t at = rnd.Below(other.size());
                s.insert(rnd.Below(s.size() + 1), other.substr(at, 1 + rnd.Below(other.size() - at)));
            }
            break;
        }
        case 6: { // insert a token
            const char* t = kTokens[rnd.Below(std::size(kTokens))];
            // The signatures hold NUL bytes: four bytes each.
            const std::size_t len = (t[0] == 'I' || t[0] == 'M') && t[1] == t[0] ? 4 : std::strlen(t);
            s.insert(rnd.Below(s.size() + 1), std::string(t, len));
            break;
        }
        case 7: // cut
            s.resize(rnd.Below(s.size() + 1));
            break;
        default: { // something new
            s.clear();
            const std::size_t n = rnd.Below(300);
            for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(rnd.Next());
            break;
        }
        }
    }
    if (s.size() > 4096) s.resize(4096);
}

void Run(const std::string& input, const char* origin) {
    gCurrent = &input;
    gOrigin = origin;
    // A copy of exactly the input's size, so that reading past it is caught
    // by a sanitizer build.
    std::vector<std::uint8_t> bytes(input.begin(), input.end());
    LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
    gCurrent = nullptr;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGABRT, PrintCurrentInput);
    std::size_t mutations = 4000;
    std::uint64_t seed = 1;
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--mutations" && i + 1 < argc) {
            mutations = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (std::filesystem::is_directory(arg)) {
            std::vector<std::filesystem::path> found;
            for (const auto& e : std::filesystem::directory_iterator(arg))
                if (e.is_regular_file()) found.push_back(e.path());
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else if (std::filesystem::is_regular_file(arg)) {
            files.emplace_back(arg);
        } else {
            std::fprintf(stderr, "%s: no input %s\n", argv[0], arg.c_str());
            return 2;
        }
    }

    std::vector<std::string> pool{std::string{}};
    Run(pool.front(), "the empty input");
    for (const auto& f : files) {
        pool.push_back(ReadAll(f));
        Run(pool.back(), f.c_str());
    }
    const std::size_t seeds = pool.size();
    Random rnd(seed);
    for (std::size_t i = 0; i < mutations; ++i) {
        std::string s = pool[rnd.Below(pool.size())];
        Mutate(s, rnd, pool);
        Run(s, "a mutation");
        // Some mutations become parents, so that changes pile up.
        if (rnd.Below(8) == 0) {
            if (pool.size() < seeds + 256) pool.push_back(s);
            else pool[seeds + rnd.Below(256)] = s;
        }
    }
    std::printf("%zu seed inputs and %zu mutations passed\n", seeds, mutations);
    return 0;
}
