#include "tests/support/argv_rules.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitArgumentsLikeWindows(const std::string& line) {
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = line.size();

    // The first argument: no escapes; a leading quote runs to the next quote whatever follows.
    std::string first;
    if (i < n && line[i] == '"') {
        ++i;
        while (i < n) {
            char c = line[i++];
            if (c == '"') break;
            first += c;
        }
    } else {
        while (i < n && !IsBlank(line[i])) first += line[i++];
    }
    args.push_back(first);
    while (i < n && IsBlank(line[i])) ++i;
    if (i >= n) return args;

    // The remaining arguments. `quotes` counts the quotes seen in the current run: 1 means
    // inside a quoted section; three in a row produce one literal quote.
    std::string current;
    int quotes = 0;
    size_t backslashes = 0;
    while (i < n) {
        char c = line[i];
        if (IsBlank(c) && quotes == 0) {
            args.push_back(current);
            current.clear();
            backslashes = 0;
            while (i < n && IsBlank(line[i])) ++i;
            if (i >= n) return args;
            continue;
        }
        if (c == '\\') {
            current += c;
            ++backslashes;
            ++i;
            continue;
        }
        if (c == '"') {
            if ((backslashes & 1) == 0) {
                // An even run of backslashes: half of them stay, the quote toggles quoting.
                current.erase(current.size() - backslashes / 2);
                ++quotes;
            } else {
                // An odd run: half of them stay, followed by a literal quote.
                current.erase(current.size() - backslashes / 2 - 1);
                current += '"';
            }
            ++i;
            backslashes = 0;
            while (i < n && line[i] == '"') {
                if (++quotes == 3) {
                    current += '"';
                    quotes = 0;
                }
                ++i;
            }
            if (quotes == 2) quotes = 0;
            continue;
        }
        current += c;
        backslashes = 0;
        ++i;
    }
    args.push_back(current);
    return args;
}
