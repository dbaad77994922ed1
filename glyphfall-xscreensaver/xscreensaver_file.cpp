// The programs list of ~/.xscreensaver: one resource whose value runs over
// backslash-continued lines, entries separated by "\n", each written as
// [-] [VISUAL:] ["Name"] command [arguments] ('-' disables it).
#include "glyphfall-xscreensaver/xscreensaver_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The name the settings program shows, quoted before the command.
constexpr const char* ListName = "\"Glyphfall\"";

struct ProgramsList {
    bool Found = false;
    size_t Begin = 0, End = 0;          // its lines in the text, End past the last one's newline
    std::vector<std::string> Entries;   // trimmed, continuations joined
};

std::string Trimmed(const std::string& s, bool left = true)
{
    const size_t first = left ? s.find_first_not_of(" \t\r\n") : 0;
    return first == s.npos ? "" : s.substr(first, s.find_last_not_of(" \t\r\n") + 1 - first);
}

size_t LineEnd(const std::string& text, size_t start)
{
    const size_t end = text.find('\n', start);
    return end == text.npos ? text.size() : end + 1;
}

// The list in a file's text (a user's "programs:" or the app-defaults'
// "*programs:"), found only at the start of a logical line.
ProgramsList FindPrograms(const std::string& text)
{
    ProgramsList list;
    bool continued = false;
    for (size_t start = 0, end; start < text.size(); start = end) {
        end = LineEnd(text, start);
        std::string value = Trimmed(text.substr(start, end - start));
        const bool opens = !continued && (value.rfind("programs:", 0) == 0 || value.rfind("*programs:", 0) == 0);
        continued = !value.empty() && value.back() == '\\';
        if (!opens)
            continue;
        // A continuation keeps the next line's leading blanks, as the resource reader does.
        value.erase(0, value.find(':') + 1);
        while (!value.empty() && value.back() == '\\') {
            value.pop_back();
            if (end == text.size())
                break;
            const size_t next = end;
            end = LineEnd(text, next);
            value += Trimmed(text.substr(next, end - next), false);
        }
        list = {true, start, end, {}};
        for (size_t from = 0; from <= value.size(); from += 2) {
            const size_t sep = std::min(value.find("\\n", from), value.size());
            if (const std::string entry = Trimmed(value.substr(from, sep - from)); !entry.empty())
                list.Entries.push_back(entry);
            from = sep;
        }
        break;
    }
    return list;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// Whether an entry runs the program named program (wherever it lies), and
// where its text starts once a disabling '-' is taken off.
bool IsOurs(const std::string& entry, const std::string& program, bool* disabled, size_t* enabledFrom)
{
    size_t i = 0;
    const auto skipBlanks = [&] { i = std::min(entry.find_first_not_of(" \t", i), entry.size()); };
    // Dashes beyond the first mean nothing more; enabling takes them all off.
    while (i < entry.size() && entry[i] == '-')
        ++i, skipBlanks();
    *disabled = i > 0;
    *enabledFrom = i;
    const auto word = [&] { return entry.substr(i, std::min(entry.find_first_of(" \t", i), entry.size()) - i); };
    if (const std::string visual = word(); !visual.empty() && visual.back() == ':' && visual[0] != '"')
        i += visual.size(), skipBlanks();
    if (i < entry.size() && entry[i] == '"') {
        i = entry.find('"', i + 1);
        if (i == entry.npos)
            return false;
        ++i, skipBlanks();
    }
    return BaseName(word()) == program;
}

// The list as the daemon's own settings writer lays it out.
std::string ProgramsBlock(const std::vector<std::string>& entries)
{
    std::string block = entries.empty() ? "programs:\n" : "programs:\t\t\t\t\t\t\t\t      \\\n";
    for (size_t i = 0; i < entries.size(); ++i)
        block += (entries[i][0] == '-' ? "" : "\t\t\t\t") + entries[i] + "\t\t\t\t    \\n" +
                 (i + 1 < entries.size() ? "\\\n" : "\n");
    return block;
}

}  // namespace

HackListEdit EditHackList(const std::string* text, const std::string& defaults, const std::string& command, bool add)
{
    HackListEdit edit;
    edit.Text = text ? *text : "";
    ProgramsList list = FindPrograms(edit.Text);
    if (!list.Found) {
        if (!add)
            return edit;
        if (!edit.Text.empty() && edit.Text.back() != '\n')
            edit.Text += '\n';
        // A last line continued would swallow the list: an empty line ends it.
        if (const std::string end = Trimmed(edit.Text, false); !end.empty() && end.back() == '\\')
            edit.Text += '\n';
        list.Entries = FindPrograms(defaults).Entries;
        list.Begin = list.End = edit.Text.size();
    }
    const std::string program = BaseName(command.substr(0, command.find(' ')));
    std::vector<std::string> entries;
    for (const std::string& entry : list.Entries) {
        bool disabled;
        size_t enabledFrom;
        if (!IsOurs(entry, program, &disabled, &enabledFrom)) {
            entries.push_back(entry);
            continue;
        }
        // The first of ours is the one named; adding enables it and keeps any others as they are.
        const bool first = !edit.Number;
        if (first)
            edit.Number = int(entries.size()) + 1;
        if (add)
            entries.push_back(first ? entry.substr(enabledFrom) : entry);
    }
    if (add && !edit.Number) {
        entries.push_back(std::string(ListName) + "  " + command);
        edit.Number = int(entries.size());
    }
    // An entry already there and enabled leaves the file untouched, layout and all.
    if (entries == list.Entries && list.Found)
        return edit;
    edit.Text.replace(list.Begin, list.End - list.Begin, ProgramsBlock(entries));
    edit.Changed = true;
    return edit;
}

std::string HackListCommand(const std::string& program)
{
    // The daemon finds hacks in its own directory by name; elsewhere only by path.
    const fs::path path(program);
    const std::string name = path.parent_path() == "/usr/libexec/xscreensaver" ? path.filename() : path;
    // The daemon splits the command line at blanks and hands it to a shell.
    const bool plain =
        name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789/._+-") == name.npos;
    return plain ? name + " --root" : "";
}

int InstallHack(bool add)
{
    const auto fail = [](const std::string& why) {
        std::fprintf(stderr, "glyphfall-xscreensaver: %s\n", why.c_str());
        return 1;
    };
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return fail("HOME is not set: there is no ~/.xscreensaver to change");
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return fail("cannot tell where this program lies: " + error.message());
    const std::string command = HackListCommand(self);
    if (command.empty())
        return fail("the path " + self.string() + " would not survive the daemon's command line: install it elsewhere");

    fs::path file = fs::path(home) / ".xscreensaver";
    const bool exists = fs::exists(file, error);
    if (exists)
        file = fs::canonical(file, error);   // a link keeps pointing at the changed file
    std::ostringstream old, defaults;
    if (exists && !(old << std::ifstream(file).rdbuf()))
        return fail("cannot read " + file.string());
    defaults << std::ifstream("/etc/X11/app-defaults/XScreenSaver").rdbuf();
    const std::string oldText = old.str();
    const HackListEdit edit = EditHackList(exists ? &oldText : nullptr, defaults.str(), command, add);

    const std::string name = file.string(), backup = name + ".bak";
    if (!edit.Changed) {
        if (add)
            std::printf("glyphfall-xscreensaver: %s is already entry %d of the programs in %s: nothing changed\n",
                        ListName, edit.Number, name.c_str());
        else
            std::printf("glyphfall-xscreensaver: no glyphfall-xscreensaver entry in %s: nothing changed\n",
                        name.c_str());
        return 0;
    }
    if (exists && !fs::copy_file(file, backup, fs::copy_options::overwrite_existing, error))
        return fail("cannot keep a backup in " + backup + ": " + error.message());
    // Written beside it and renamed over it: the daemon never reads half a file.
    const std::string fresh = name + ".new";
    std::ofstream out(fresh, std::ios::trunc);
    if (!(out << edit.Text) || !(out.close(), out))
        return fail("cannot write " + fresh);
    struct stat st;
    if (exists && stat(name.c_str(), &st) == 0)
        chmod(fresh.c_str(), st.st_mode & 07777);
    if (std::rename(fresh.c_str(), name.c_str()) != 0) {
        std::remove(fresh.c_str());
        return fail("cannot replace " + name);
    }
    const std::string kept = exists ? "the old file kept as " + backup : "a new file";
    if (add)
        std::printf("glyphfall-xscreensaver: %s is entry %d of the programs in %s (%s); "
                    "`xscreensaver-command -select %d` shows it\n",
                    ListName, edit.Number, name.c_str(), kept.c_str(), edit.Number);
    else
        std::printf("glyphfall-xscreensaver: took entry %d (%s) out of the programs in %s (%s)\n", edit.Number,
                    ListName, name.c_str(), kept.c_str());
    return 0;
}
