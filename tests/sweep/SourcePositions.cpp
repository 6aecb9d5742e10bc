#include "tests/sweep/SourcePositions.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace marbrook::sweep {

namespace {

namespace fs = std::filesystem;

bool IsIdent(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

// The text with the contents of string and character literals blanked too,
// so that braces and parentheses can be matched on it.
std::string CodeOnly(const std::string& text) {
    std::string out = text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char quote = out[i];
        if (quote != '"' && quote != '\'') continue;
        // A digit separator (1'000) is not a literal; none are used here.
        std::size_t j = i + 1;
        for (; j < out.size() && out[j] != quote; ++j) {
            if (out[j] == '\\' && j + 1 < out.size()) out[j++] = ' ';
            if (out[j] != '\n') out[j] = ' ';
        }
        i = j;
    }
    return out;
}

// The block "{ ... }" around `offset`: [open, close].
bool EnclosingBlock(const std::string& code, std::size_t offset, std::size_t& open, std::size_t& close) {
    int depth = 0;
    std::size_t i = offset;
    for (;;) {
        if (i == 0) return false;
        --i;
        if (code[i] == '}') ++depth;
        else if (code[i] == '{') {
            if (depth == 0) break;
            --depth;
        }
    }
    open = i;
    depth = 0;
    for (std::size_t j = open; j < code.size(); ++j) {
        if (code[j] == '{') ++depth;
        else if (code[j] == '}' && --depth == 0) {
            close = j;
            return true;
        }
    }
    return false;
}

// The name of the call whose argument list holds `offset` ("" when none).
std::string EnclosingCall(const std::string& code, std::size_t offset) {
    int depth = 0;
    for (std::size_t i = offset; i-- > 0;) {
        if (code[i] == ')') ++depth;
        else if (code[i] == '(') {
            if (depth == 0) {
                std::size_t end = i;
                while (end > 0 && std::isspace(static_cast<unsigned char>(code[end - 1]))) --end;
                std::size_t begin = end;
                while (begin > 0 && IsIdent(code[begin - 1])) --begin;
                return code.substr(begin, end - begin);
            }
            --depth;
        } else if (code[i] == ';' || code[i] == '{' || code[i] == '}') {
            return {};
        }
    }
    return {};
}

struct SourceFile {
    std::string path; // relative to the source folder
    std::string text; // comments blanked
    std::string code; // comments and literal contents blanked
};

// Bodies of the definitions of `name` (a function, member function or
// template) in `file` whose parameter list holds `mustHave`.
std::vector<std::string> Definitions(const SourceFile& file, const std::string& name, const std::string& mustHave) {
    std::vector<std::string> bodies;
    const std::string& code = file.code;
    for (std::size_t at = code.find(name); at != std::string::npos; at = code.find(name, at + 1)) {
        if (at > 0 && IsIdent(code[at - 1])) continue;
        std::size_t p = at + name.size();
        while (p < code.size() && std::isspace(static_cast<unsigned char>(code[p]))) ++p;
        if (p >= code.size() || code[p] != '(') continue;
        int depth = 0;
        std::size_t q = p;
        for (; q < code.size(); ++q) {
            if (code[q] == '(') ++depth;
            else if (code[q] == ')' && --depth == 0) break;
        }
        if (q >= code.size()) continue;
        const std::string params = code.substr(p, q - p);
        if (params.find(mustHave) == std::string::npos) continue;
        // Qualifiers and a trailing return type may stand before the body.
        std::size_t b = q + 1;
        while (b < code.size() && code[b] != '{' && code[b] != ';' && code[b] != '(' && code[b] != ')' && code[b] != '=' &&
               code[b] != ',')
            ++b;
        if (b >= code.size() || code[b] != '{') continue;
        std::size_t open = 0, close = 0;
        if (!EnclosingBlock(code, b + 1, open, close)) continue;
        bodies.push_back(file.text.substr(p, close + 1 - p));
    }
    return bodies;
}

// Adds the text of every helper that `body` hands its Steps to.
void AddHelpers(const std::vector<SourceFile>& files, const std::string& body, std::set<std::string>& visited,
                std::string& text) {
    const std::string code = CodeOnly(body);
    for (std::size_t at = code.find("step"); at != std::string::npos; at = code.find("step", at + 1)) {
        if (at > 0 && IsIdent(code[at - 1])) continue;
        std::size_t after = at + 4;
        if (after < code.size() && (IsIdent(code[after]))) continue;
        while (after < code.size() && std::isspace(static_cast<unsigned char>(code[after]))) ++after;
        if (after >= code.size() || (code[after] != ',' && code[after] != ')')) continue;
        const std::string callee = EnclosingCall(code, at);
        if (callee.empty() || !visited.insert(callee).second) continue;
        for (const auto& file : files) {
            for (const auto& helper : Definitions(file, callee, "Steps&")) {
                text += "\n" + helper;
                AddHelpers(files, helper, visited, text);
            }
        }
    }
}

void ReadSteps(const std::string& text, RoutineSource& routine) {
    const std::string code = CodeOnly(text);
    static const std::regex literal(R"(^\s*(\d+)\s*$)");
    static const std::regex choice(R"(^[^?]*\?\s*(\d+)\s*:\s*(\d+)\s*$)");
    for (std::size_t at = code.find("step("); at != std::string::npos; at = code.find("step(", at + 1)) {
        if (at > 0 && IsIdent(code[at - 1])) continue;
        if (at >= 6 && code.compare(at - 6, 6, "Steps ") == 0) continue; // the declaration
        int depth = 0;
        std::size_t end = at + 4;
        for (; end < code.size(); ++end) {
            if (code[end] == '(') ++depth;
            else if (code[end] == ')' && --depth == 0) break;
        }
        const std::string expr = code.substr(at + 5, end - at - 5);
        std::smatch m;
        if (std::regex_match(expr, m, literal)) {
            routine.literalSteps.insert(std::stoi(m[1]));
        } else if (std::regex_match(expr, m, choice)) {
            routine.literalSteps.insert(std::stoi(m[1]));
            routine.literalSteps.insert(std::stoi(m[2]));
        } else {
            routine.computedSteps.push_back(expr);
        }
    }
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

std::string StripComments(const std::string& text) {
    std::string out = text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        if (c == '"' || c == '\'') {
            std::size_t j = i + 1;
            for (; j < out.size() && out[j] != c; ++j)
                if (out[j] == '\\') ++j;
            i = j;
        } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '/') {
            for (; i < out.size() && out[i] != '\n'; ++i) out[i] = ' ';
        } else if (c == '/' && i + 1 < out.size() && out[i + 1] == '*') {
            const std::size_t end = out.find("*/", i + 2);
            const std::size_t stop = end == std::string::npos ? out.size() : end + 2;
            for (; i < stop; ++i)
                if (out[i] != '\n') out[i] = ' ';
            --i;
        }
    }
    return out;
}

std::map<std::string, RoutineSource> ReadRoutines(const std::string& sourceDir) {
    std::vector<SourceFile> files;
    for (const char* folder : {"interface", "browser", "catalogue", "connections", "support"}) {
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(sourceDir) / folder)) {
            const auto ext = entry.path().extension();
            if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
            SourceFile f;
            f.path = fs::relative(entry.path(), sourceDir).generic_string();
            f.text = StripComments(ReadText(entry.path()));
            f.code = CodeOnly(f.text);
            files.push_back(std::move(f));
        }
    }

    std::map<std::string, RoutineSource> routines;
    static const std::regex position(R"re("([A-Za-z][A-Za-z0-9_]*(\.[A-Za-z0-9_]+)+:)")re");
    for (const auto& file : files) {
        for (auto it = std::sregex_iterator(file.text.begin(), file.text.end(), position); it != std::sregex_iterator();
             ++it) {
            const std::string literal = (*it)[1];
            const auto offset = static_cast<std::size_t>(it->position());
            RoutineSource& routine = routines[literal];
            routine.files.insert(file.path);

            std::string text;
            const std::string callee = EnclosingCall(file.code, offset);
            if (callee == "step") {
                // Steps step(p, "..."): the routine is the function around it.
                std::size_t open = 0, close = 0;
                if (EnclosingBlock(file.code, offset, open, close)) text = file.text.substr(open, close + 1 - open);
            } else if (!callee.empty()) {
                // Handed to a function that declares the Steps with it.
                for (const auto& body : Definitions(file, callee, "const char*"))
                    if (body.find("Steps step(") != std::string::npos) text += "\n" + body;
            }
            std::set<std::string> visited{callee};
            std::string helpers;
            AddHelpers(files, text, visited, helpers);
            ReadSteps(text + helpers, routine);
        }
    }
    return routines;
}

} // namespace marbrook::sweep
