// A reading of ~/.xscreensaver written apart from the editor's, as the
// XScreenSaver 6.06 daemon reads it (seen on the daemon itself), and the
// properties the editor of its programs list must hold, judged by it.
#pragma once
#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>

#include "glyphfall-xscreensaver/xscreensaver_file.h"

inline std::string Stripped(const std::string& s)
{
    const size_t begin = s.find_first_not_of(" \t\n\v\f\r");
    return begin == s.npos ? "" : s.substr(begin, s.find_last_not_of(" \t\n\v\f\r") + 1 - begin);
}

// Settings by lower-case name, the last of a name kept. The daemon reads a
// line, and reads on while what it holds ends in backslash-newline (dropping
// those two) or lacks a newline, unless it is 2 bytes or shorter; it then
// decodes \n \r \t \X, strips it, skips comments and takes "name: value".
inline std::map<std::string, std::string> DaemonSettings(const std::string& file)
{
    std::map<std::string, std::string> settings;
    for (size_t at = 0; at < file.size();) {
        std::string buf, line;
        for (bool more = true; more && at < file.size();) {
            const size_t end = std::min(file.find('\n', at), file.size() - 1) + 1, n = buf.size() + end - at;
            buf.append(file, at, end - at);
            at = end;
            if ((more = n > 2 && (buf[n - 1] != '\n' || buf[n - 2] == '\\')) && buf[n - 2] == '\\')
                buf.resize(n - 2);
        }
        for (size_t i = 0; i < buf.size(); ++i)
            if (buf[i] != '\\')
                line += buf[i];
            else if (++i < buf.size())
                line += buf[i] == 'n' ? '\n' : buf[i] == 'r' ? '\r' : buf[i] == 't' ? '\t' : buf[i];
        line = Stripped(line);
        if (line.empty() || std::strchr("#!;", line[0]) || line.find(':') == line.npos)
            continue;
        std::string name = line.substr(0, line.find(':'));
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        settings[name] = Stripped(line.substr(line.find(':') + 1));
    }
    return settings;
}

// "" when our entry added to the text holds the three properties (adding
// twice changes nothing; adding, and adding then taking out, leave every
// other setting and every other entry as they were), else what broke.
inline std::string HackListFault(const std::string& text, const std::vector<std::string>& defaults)
{
    const std::string ours = "glyphfall-xscreensaver";
    // The settings, with the list (the system's if none) less our entries; *list: all of it.
    const auto read = [&](const std::string& file, std::vector<std::string>* list) {
        auto settings = DaemonSettings(file);
        *list = settings.count("programs") ? std::vector<std::string>() : defaults;
        std::istringstream lines(settings["programs"]);
        for (std::string entry; std::getline(lines, entry);)
            if (!(entry = Stripped(entry)).empty())
                list->push_back(entry);
        settings["programs"] = "";
        for (const std::string& e : *list)
            settings["programs"] += e.find(ours) == e.npos ? e + '\n' : "";
        return settings;
    };
    size_t longest = 0;
    for (size_t at = 0, end; at < text.size(); longest = std::max(longest, end - at), at = end)
        end = std::min(text.find('\n', at), text.size() - 1) + 1;
    const HackListEdit add = EditHackList(&text, defaults, ours + " --root", true);
    // The daemon reads these in pieces, losing bytes: no edit could keep them.
    if (longest > 1022 || text.find('\0') != text.npos)
        return add.Refused.empty() ? "edited a file the daemon reads in pieces" : "";
    if (!add.Refused.empty())
        return defaults.empty() ? "" : "refused: " + add.Refused;
    const HackListEdit twice = EditHackList(&add.Text, defaults, ours + " --root", true);
    const HackListEdit out = EditHackList(&add.Text, defaults, ours + " --root", false);
    std::vector<std::string> list, added, left;
    const auto before = read(text, &list);
    const bool changed = read(add.Text, &added) != before, restored = read(out.Text, &left) == before;
    const std::string entry = add.Number > 0 && size_t(add.Number) <= added.size() ? added[add.Number - 1] : "-";
    return twice.Changed                                       ? "adding twice changed it"
           : changed                                           ? "adding changed another setting"
           : entry[0] == '-' || entry.find(ours) == entry.npos ? "entry " + std::to_string(add.Number) + " is not ours"
           : !restored                                         ? "taking it out changed another setting"
           : out.Number != add.Number || std::count(left.begin(), left.end(), entry) ? "not taken out"
                                                                                     : "";
}
