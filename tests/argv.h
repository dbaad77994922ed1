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

// What parse makes of line's words split at spaces into *args: "" when it accepts them, else its
// refusal; an acceptance with a message or a refusal without one says so.
template <class Argv, class Args>
std::string Parse(bool (*parse)(int, Argv, Args*, std::string*), std::string_view line, Args* args)
{
    std::vector<std::string> words;
    std::vector<char*> argv = SplitArgs(line, ' ', &words);
    std::string error;
    const bool accepted = parse(int(argv.size()), argv.data(), args, &error);
    return accepted == error.empty() ? error : (accepted ? "accepted, yet: " : "refused without a reason") + error;
}
