#include "common/command_line.h"

namespace trimora {

std::vector<std::string> SplitCommandLine(const std::string& command) {
    std::vector<std::string> args;
    std::string cur;
    bool inArg = false, inQuotes = false;
    for (size_t i = 0; i < command.size();) {
        const char c = command[i];
        if (c == '\\') {
            size_t n = 0;
            while (i < command.size() && command[i] == '\\') ++n, ++i;
            if (i < command.size() && command[i] == '"') {
                cur.append(n / 2, '\\');
                if (n % 2) {
                    cur += '"';
                    ++i;
                }
            } else {
                cur.append(n, '\\');
            }
            inArg = true;
            continue;
        }
        if (c == '"') {
            inQuotes = !inQuotes;
            inArg = true;
            ++i;
            continue;
        }
        if ((c == ' ' || c == '\t') && !inQuotes) {
            if (inArg) args.push_back(cur);
            cur.clear();
            inArg = false;
            ++i;
            continue;
        }
        cur += c;
        inArg = true;
        ++i;
    }
    if (inArg) args.push_back(cur);
    return args;
}

std::string QuoteArgText(const std::string& path) {
    std::string out;
    size_t backslashes = 0;
    for (const char c : path) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
            out += '"';
        } else {
            out.append(backslashes, '\\');
            out += c;
        }
        backslashes = 0;
    }
    out.append(backslashes * 2, '\\');
    return out;
}

std::string Quoted(const std::string& path) { return "\"" + QuoteArgText(path) + "\""; }

} // namespace trimora
