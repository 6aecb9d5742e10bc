#include "catalogue/NameOrder.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace marbrook::names {

namespace {

struct FoldPair {
    std::uint32_t from;
    std::uint32_t to;
};

constexpr FoldPair kFolding[] = {
#include "catalogue/CaseFolding.inc"
};

std::uint32_t FoldCodePoint(std::uint32_t cp) {
    const auto* end = std::end(kFolding);
    const auto* it = std::lower_bound(std::begin(kFolding), end, cp,
                                      [](const FoldPair& p, std::uint32_t v) { return p.from < v; });
    return it != end && it->from == cp ? it->to : cp;
}

// Decodes the UTF-8 character at `s[i]`; its length in `length`, 0 when the
// bytes there are not a well-formed character.
std::uint32_t Decode(std::string_view s, std::size_t i, std::size_t& length) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    std::uint32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2, cp = b0 & 0x1Fu, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3, cp = b0 & 0x0Fu, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4, cp = b0 & 0x07u, min = 0x10000;
    } else {
        length = 0;
        return 0;
    }
    if (i + n > s.size()) {
        length = 0;
        return 0;
    }
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0u) != 0x80u) {
            length = 0;
            return 0;
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        length = 0;
        return 0;
    }
    length = n;
    return cp;
}

void Encode(std::uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The first eight bytes of a folded name as one number, so that most
// comparisons of a sort are one integer comparison.
std::uint64_t Head(std::string_view folded) {
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < 8; ++i)
        head = (head << 8) | (i < folded.size() ? static_cast<unsigned char>(folded[i]) : 0u);
    return head;
}

} // namespace

std::string Fold(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const char c = name[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            out.push_back(FoldAscii(c));
            ++i;
            continue;
        }
        std::size_t length = 0;
        const std::uint32_t cp = Decode(name, i, length);
        if (length == 0) {
            out.push_back(c); // not UTF-8: the byte sorts as itself
            ++i;
            continue;
        }
        const std::uint32_t folded = FoldCodePoint(cp);
        if (folded == cp) out.append(name.substr(i, length));
        else Encode(folded, out);
        i += length;
    }
    return out;
}

bool Before(std::string_view a, std::string_view b) {
    const std::string fa = Fold(a), fb = Fold(b);
    if (fa != fb) return fa < fb;
    return a < b;
}

namespace {

// The first eight bytes of `name` case folded, as one number. Folding never
// changes an ASCII byte's place, so a name whose first eight bytes are ASCII
// needs no folded copy; any other is folded whole.
std::uint64_t FoldedHead(std::string_view name) {
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        // A shorter name is padded with zero bytes (an empty one is 0).
        if (i >= name.size()) return i == 0 ? 0 : head << (8 * (8 - i));
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80) return Head(Fold(name));
        head = (head << 8) | static_cast<unsigned char>(FoldAscii(static_cast<char>(c)));
    }
    return head;
}

} // namespace

std::vector<std::size_t> Order(std::size_t count, const std::function<std::string_view(std::size_t)>& nameAt) {
    // Sorted by the folded heads first, as plain numbers (one fold per name,
    // no string made); only names that share a head are folded whole and
    // sorted among themselves.
    struct Key {
        std::uint64_t head;
        std::size_t index;
    };
    std::vector<Key> keys(count);
    for (std::size_t i = 0; i < count; ++i) keys[i] = {FoldedHead(nameAt(i)), i};
    // A radix sort on the heads, a byte at a time from the last: a folder of
    // 100 000 names is put in order in a few passes over one array.
    // The counts of every byte place are taken in one pass over the keys;
    // a place where all keys hold the same byte moves nothing.
    std::vector<std::array<std::size_t, 257>> counts(count > 1 ? 8 : 0);
    for (const Key& k : keys)
        for (std::size_t place = 0; place < counts.size(); ++place) ++counts[place][((k.head >> (8 * place)) & 0xFF) + 1];
    std::vector<Key> spare(count);
    for (std::size_t place = 0; place < counts.size(); ++place) {
        auto& at = counts[place];
        if (*std::max_element(at.begin() + 1, at.end()) == count) continue; // one byte for all: nothing to move
        for (std::size_t b = 1; b < at.size(); ++b) at[b] += at[b - 1];
        const int shift = static_cast<int>(8 * place);
        for (const Key& k : keys) spare[at[(k.head >> shift) & 0xFF]++] = k;
        keys.swap(spare);
    }
    std::vector<std::pair<std::string, std::size_t>> run;
    for (std::size_t a = 0; a < count;) {
        std::size_t b = a + 1;
        while (b < count && keys[b].head == keys[a].head) ++b;
        if (b - a > 1) {
            run.clear();
            for (std::size_t k = a; k < b; ++k) run.emplace_back(Fold(nameAt(keys[k].index)), keys[k].index);
            std::sort(run.begin(), run.end(), [&](const auto& x, const auto& y) {
                if (const int c = x.first.compare(y.first); c != 0) return c < 0;
                return nameAt(x.second) < nameAt(y.second);
            });
            for (std::size_t k = a; k < b; ++k) keys[k].index = run[k - a].second;
        }
        a = b;
    }
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = keys[i].index;
    return order;
}

void Sort(std::vector<std::string>& names) {
    const std::vector<std::size_t> order = Order(names.size(), [&](std::size_t i) { return std::string_view(names[i]); });
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const std::size_t i : order) sorted.push_back(std::move(names[i]));
    names = std::move(sorted);
}

} // namespace marbrook::names
