// The one way tests and the fuzzer make a command line for the parsers.
#pragma once
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

// argv of "glyphfall" and line's words split at separator (empty words kept,
// none from an empty line); *words holds their text.
inline std::vector<char*> SplitArgs(std::string_view line, char separator, std::vector<std::string>* words)
{
    words->assign(1, "glyphfall");
    for (size_t start = 0; !line.empty() && start <= line.size();) {
        const size_t end = std::min(line.find(separator, start), line.size());
        words->emplace_back(line.substr(start, end - start));
        start = end + 1;
    }
    std::vector<char*> argv;
    for (std::string& w : *words)
        argv.push_back(w.data());
    return argv;
}
