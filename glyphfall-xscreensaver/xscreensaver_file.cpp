// The programs list of ~/.xscreensaver: one setting whose value runs over
// backslash-continued lines, entries separated by "\n", each written as
// [-] [VISUAL:] ["Name"] command [arguments] ('-' disables it). The file is
// read the way XScreenSaver 6.06's own reader reads it (checked against the
// daemon), so that an edit replaces exactly that setting's lines.
#include "glyphfall-xscreensaver/xscreensaver_file.h"

#include <X11/Xresource.h>
#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <tuple>

#include "shell/command_line.h"

namespace fs = std::filesystem;

namespace {

// The name the settings program shows, quoted before the command.
constexpr const char* ListName = "\"Glyphfall\"";
// The daemon reads a longer line in pieces and loses bytes where a piece
// ends in a backslash: such a file is left alone.
constexpr size_t LongestLine = 1022;   // bytes, its newline included
constexpr const char* NoSystemList = "has no programs list, and there is no system list to start one from";

struct ProgramsList {
    bool Found = false;
    size_t Begin = 0, End = 0;          // its bytes in the text (the last "programs:" wins)
    std::vector<std::string> Entries;   // decoded, trimmed, empty ones left out
    size_t Fresh = 0;                   // where a new list may go: the end, unless the last line would join it
};

bool Blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string Trimmed(const std::string& s)
{
    size_t begin = 0, end = s.size();
    while (begin < end && Blank(s[begin]))
        ++begin;
    while (end > begin && Blank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

size_t LineEnd(const std::string& text, size_t start)
{
    const size_t end = text.find('\n', start);
    return end == text.npos ? text.size() : end + 1;
}

std::vector<std::string> Entries(const std::string& value)
{
    std::vector<std::string> entries;
    for (size_t from = 0, end; from < value.size(); from = end + 1) {
        end = std::min(value.find('\n', from), value.size());
        if (std::string entry = Trimmed(value.substr(from, end - from)); !entry.empty())
            entries.push_back(entry);
    }
    return entries;
}

// One logical line from begin, joined as the daemon joins it: while what it
// has joined so far ends in backslash-newline it drops those two bytes and
// reads on (so an empty line after "\\\\" is joined too), unless its first
// line has two bytes or less; a last line without a newline loses a
// backslash before its last byte. *clean: it ended at a newline of its own.
std::string JoinedLine(const std::string& text, size_t begin, size_t* end, bool* clean)
{
    *end = LineEnd(text, begin);
    std::string joined = text.substr(begin, *end - begin);
    *clean = true;
    while (joined.size() > 2 && (joined.back() != '\n' || joined[joined.size() - 2] == '\\')) {
        if (joined[joined.size() - 2] == '\\')
            joined.resize(joined.size() - 2);
        if (*end == text.size()) {
            *clean = false;
            break;
        }
        const size_t next = *end;
        *end = LineEnd(text, next);
        joined.append(text, next, *end - next);
    }
    *clean = *clean && joined.back() == '\n';
    return joined;
}

// A joined line's entries when it sets "programs" (in any case, right before
// its first colon, after its escapes \n \r \t \X are decoded).
bool ProgramsValue(const std::string& joined, std::vector<std::string>* entries)
{
    std::string line;
    for (size_t i = 0; i < joined.size(); ++i) {
        char c = joined[i];
        if (c == '\\') {
            if (++i == joined.size())
                break;
            c = joined[i] == 'n' ? '\n' : joined[i] == 'r' ? '\r' : joined[i] == 't' ? '\t' : joined[i];
        }
        line += c;
    }
    line = Trimmed(line);
    if (line.find(':') != 8 || strncasecmp(line.c_str(), "programs", 8) != 0)
        return false;
    *entries = Entries(line.substr(9));
    return true;
}

ProgramsList FindPrograms(const std::string& text)
{
    ProgramsList list;
    bool clean = true;
    std::vector<std::string> entries;
    for (size_t begin = 0, end; begin < text.size(); begin = end)
        if (ProgramsValue(JoinedLine(text, begin, &end, &clean), &entries))
            list = {true, begin, end, entries, 0};
    list.Fresh = clean ? text.size() : 0;
    return list;
}

// Why the daemon's reading of the text is not one an edit can keep; "" when it is.
std::string Unreadable(const std::string& text)
{
    if (text.find('\0') != text.npos)
        return "holds a NUL byte, so it is no settings file";
    for (size_t begin = 0, line = 1, end; begin < text.size(); begin = end, ++line)
        if ((end = LineEnd(text, begin)) - begin > LongestLine)
            return "has a line longer than " + std::to_string(LongestLine - 1) + " bytes (line " +
                   std::to_string(line) + "), which XScreenSaver reads in pieces";
    return "";
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

std::vector<std::string> WithoutOurs(std::vector<std::string> entries, const std::string& program)
{
    bool disabled;
    size_t from;
    std::erase_if(entries, [&](const std::string& e) { return IsOurs(e, program, &disabled, &from); });
    return entries;
}

// The list as the daemon's own settings writer lays it out; a backslash in
// an entry is written as its escape.
std::string ProgramsBlock(const std::vector<std::string>& entries)
{
    std::string block = entries.empty() ? "programs:\n" : "programs:\t\t\t\t\t\t\t\t      \\\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        block += entries[i][0] == '-' ? "" : "\t\t\t\t";
        for (char c : entries[i])
            block += c == '\\' ? "\\\\" : std::string(1, c);
        block += i + 1 < entries.size() ? "\t\t\t\t    \\n\\\n" : "\t\t\t\t    \\n\n";
    }
    return block;
}

// Whether b holds nothing of the user's that a is missing: the same bytes
// but for the programs list, and the same list but for our entries.
bool OnlyOursDiffer(const std::string& a, const std::string& b, const std::vector<std::string>& defaults,
                    const std::string& program)
{
    const ProgramsList la = FindPrograms(a), lb = FindPrograms(b);
    return a.substr(0, la.Begin) + a.substr(la.End) == b.substr(0, lb.Begin) + b.substr(lb.End) &&
           WithoutOurs(la.Found ? la.Entries : defaults, program) ==
               WithoutOurs(lb.Found ? lb.Entries : defaults, program);
}

}  // namespace

HackListEdit EditHackList(const std::string* text, const std::vector<std::string>& defaults,
                          const std::string& command, bool add)
{
    HackListEdit edit;
    edit.Text = text ? *text : "";
    if (edit.Refused = Unreadable(edit.Text); !edit.Refused.empty())
        return edit;
    ProgramsList list = FindPrograms(edit.Text);
    if (!list.Found) {
        if (!add)
            return edit;
        if (defaults.empty()) {
            edit.Refused = NoSystemList;
            return edit;
        }
        list.Entries = defaults;
        list.Begin = list.End = list.Fresh;
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

std::vector<std::string> DefaultPrograms(const std::vector<std::string>& files)
{
    XrmInitialize();
    std::vector<std::string> entries;
    for (size_t i = 0; i < files.size() && entries.empty(); ++i) {
        XrmDatabase db = XrmGetFileDatabase(files[i].c_str());
        char* type;
        XrmValue value;
        if (db && XrmGetResource(db, "xscreensaver.programs", "XScreenSaver.Programs", &type, &value) && value.addr)
            entries = Entries(value.addr);
        XrmDestroyDatabase(db);
    }
    return entries;
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

namespace {

// The file as found: the link's target, whether it exists, its status and text.
struct Seen {
    std::string File;
    bool Exists = false;
    uid_t PathOwner = 0;   // the link's owner, or the file's
    struct stat Stat = {};
    std::string Text;
};

std::string Reason() { return std::strerror(errno); }

std::string UserName(uid_t uid)
{
    const passwd* user = getpwuid(uid);
    return user ? user->pw_name : "user " + std::to_string(uid);
}

// Looks at path (following a link to its target); "" or why it cannot.
std::string Look(const std::string& path, Seen* seen)
{
    seen->File = path;
    seen->Exists = lstat(path.c_str(), &seen->Stat) == 0;
    if (!seen->Exists)
        return errno == ENOENT ? "" : "cannot look at " + path + ": " + Reason();
    seen->PathOwner = seen->Stat.st_uid;
    if (S_ISLNK(seen->Stat.st_mode)) {
        std::error_code error;
        const fs::path target = fs::read_symlink(path, error);
        char* real = realpath(path.c_str(), nullptr);
        if (!real)
            return path + " is a link to " + target.string() + ", which " +
                   (errno == ENOENT ? "does not exist" : "cannot be followed: " + Reason()) + ": left as it is";
        seen->File = real;
        std::free(real);
    }
    const int fd = open(seen->File.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0 || fstat(fd, &seen->Stat) != 0 || !S_ISREG(seen->Stat.st_mode)) {
        const std::string why = fd < 0 ? Reason() : "not a regular file";
        if (fd >= 0)
            close(fd);
        return "cannot read " + seen->File + ": " + why;
    }
    char buffer[65536];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
        seen->Text.append(buffer, size_t(std::max<ssize_t>(got, 0)));
    const std::string why = got < 0 ? "cannot read " + seen->File + ": " + Reason() : "";
    close(fd);
    return why;
}

bool Same(const Seen& a, const Seen& b)
{
    const auto stamp = [](const Seen& s) {
        const struct stat& t = s.Stat;
        return std::tuple(s.File, s.Exists, t.st_dev, t.st_ino, t.st_size, t.st_mtim.tv_sec, t.st_mtim.tv_nsec,
                          t.st_ctim.tv_sec, t.st_ctim.tv_nsec, s.Text);
    };
    return stamp(a) == stamp(b);
}

// A new file beside path holding text, with like's mode, owner and group (or
// the usual mode for a new file), on disk. Returns its name, or "" with *why
// set (what: the file it is to become) and nothing left.
std::string WriteBeside(const std::string& path, const std::string& text, const struct stat* like,
                        const std::string& what, std::string* why)
{
    std::string name = path + ".glyphfall-XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        *why = "cannot write " + what + ": " + Reason();
        return "";
    }
    const mode_t mask = umask(0);
    umask(mask);
    bool ok = true;
    for (size_t done = 0; ok && done < text.size();) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        ok = wrote > 0 || (wrote < 0 && errno == EINTR);
        done += size_t(std::max<ssize_t>(wrote, 0));
    }
    *why = !ok ? "cannot write " + what + ": " + Reason() : "";
    if (ok && !(fchmod(fd, like ? like->st_mode & 07777 : 0666 & ~mask) == 0 &&
                (!like || fchown(fd, like->st_uid, like->st_gid) == 0)))
        *why = "cannot give " + what + " the mode, owner and group of " + path + ": " + Reason();
    if (why->empty() && fsync(fd) != 0)
        *why = "cannot write " + what + ": " + Reason();
    if (close(fd) != 0 && why->empty())
        *why = "cannot write " + what + ": " + Reason();
    if (why->empty())
        return name;
    unlink(name.c_str());
    return "";
}

bool SyncFolder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && fsync(fd) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}

std::string List(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ", ") + name;
    return list;
}

}  // namespace

int EditHackFile(const HackFileJob& job, std::string* said)
{
    const auto fail = [&](const std::string& why) {
        *said = why;
        return int(ExitFailure);
    };
    const std::string program = BaseName(job.Command.substr(0, job.Command.find(' ')));
    // A file-size limit fails the write (EFBIG) instead of ending the program half-way.
    std::signal(SIGXFSZ, SIG_IGN);
    for (int attempt = 0; attempt < 3; ++attempt) {
        Seen seen;
        if (std::string why = Look(job.File, &seen); !why.empty())
            return fail(why);
        const std::string& file = seen.File;
        const std::string folder = fs::path(file).parent_path(), backup = file + ".bak";
        struct stat place;
        if (stat(folder.c_str(), &place) != 0)
            return fail("cannot look at " + folder + ": " + Reason());
        // What it writes is its runner's: the owner is kept only by editing
        // its own file (root following another user's link included).
        const std::pair<std::string, uid_t> owners[] = {
            {seen.Exists ? job.File : folder, seen.Exists ? seen.PathOwner : place.st_uid},
            {file, seen.Exists ? seen.Stat.st_uid : geteuid()}};
        for (const auto& [path, owner] : owners)
            if (owner != geteuid())
                return fail(path + " belongs to " + UserName(owner) + ": an edit by " + UserName(geteuid()) +
                            " would leave " + file + " owned by " + UserName(geteuid()) +
                            "; left as it is: run this as " + UserName(owner));
        const auto readOnly = [](const std::string& path, const struct stat& status) {
            return access(path.c_str(), W_OK) != 0 || !(status.st_mode & 0222);
        };
        if (seen.Exists && readOnly(file, seen.Stat))
            return fail(file + " is read-only: left as it is");
        if (readOnly(folder, place))
            return fail("the folder " + folder + " is read-only: " + file + " left as it is");

        const std::vector<std::string> defaults = DefaultPrograms(job.DefaultsFiles);
        const HackListEdit edit = EditHackList(seen.Exists ? &seen.Text : nullptr, defaults, job.Command, job.Add);
        if (!edit.Refused.empty())
            return fail(file + " " + edit.Refused +
                        (edit.Refused == NoSystemList ? " (looked in " + List(job.DefaultsFiles) + ")" : "") +
                        ": left as it is");
        if (!edit.Changed) {
            *said = job.Add ? std::string(ListName) + " is already entry " + std::to_string(edit.Number) +
                                  " of the programs in " + file + ": nothing changed"
                            : "no " + program + " entry in " + file + ": nothing changed";
            return ExitOk;
        }
        // The backup keeps the user's own last version: not one that differs
        // from the backup only by our entry, which the edit itself wrote.
        Seen old;
        const bool keepOld = seen.Exists && Look(backup, &old).empty() && old.Exists && old.File == backup &&
                             OnlyOursDiffer(old.Text, seen.Text, defaults, program);
        std::string why, copy;
        const std::string fresh =
            WriteBeside(file, edit.Text, seen.Exists ? &seen.Stat : nullptr, "the new " + file, &why);
        if (!fresh.empty() && seen.Exists && !keepOld)
            copy = WriteBeside(file, seen.Text, &seen.Stat, "the backup " + backup, &why);
        if (!why.empty()) {
            if (!fresh.empty())
                unlink(fresh.c_str());
            return fail(why + ": " + file + " left as it is");
        }
        if (job.Meanwhile)
            job.Meanwhile(file);
        // Another program's save since the reading is redone on, not lost.
        Seen now;
        if (!Look(job.File, &now).empty() || !Same(seen, now)) {
            unlink(fresh.c_str());
            if (!copy.empty())
                unlink(copy.c_str());
            continue;
        }
        if (!copy.empty() && (rename(copy.c_str(), backup.c_str()) != 0 || !SyncFolder(folder))) {
            why = "cannot keep the old file as " + backup + ": " + Reason();
            unlink(copy.c_str());
            unlink(fresh.c_str());
            return fail(why + ": " + file + " left as it is");
        }
        // A file that did not exist is not replaced should one appear meanwhile.
        const bool placed =
            seen.Exists ? rename(fresh.c_str(), file.c_str()) == 0 : link(fresh.c_str(), file.c_str()) == 0;
        const int error = errno;
        why = Reason();
        if (!placed || !seen.Exists)
            unlink(fresh.c_str());
        if (!placed && error == EEXIST)
            continue;
        if (!placed)
            return fail("cannot replace " + file + ": " + why + ": left as it is");
        if (!SyncFolder(folder))
            return fail(file + " is changed, but its folder could not be written to disk: " + Reason());
        const std::string kept = !seen.Exists ? "a new file"
                                 : keepOld    ? "your own last version stays in " + backup
                                              : "the old file kept as " + backup;
        *said = job.Add ? std::string(ListName) + " is entry " + std::to_string(edit.Number) +
                              " of the programs in " + file + " (" + kept + "); `xscreensaver-command -select " +
                              std::to_string(edit.Number) + "` shows it"
                        : "took entry " + std::to_string(edit.Number) + " (" + ListName + ") out of the programs in " +
                              file + " (" + kept + ")";
        return ExitOk;
    }
    return fail(job.File + " kept changing while it was being edited: left as it is; run again");
}

int InstallHack(bool add)
{
    const auto say = [](FILE* to, const std::string& what, int code) {
        std::fprintf(to, "glyphfall-xscreensaver: %s\n", what.c_str());
        return code;
    };
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        return say(stderr, "HOME is not set: there is no ~/.xscreensaver to change", ExitFailure);
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return say(stderr, "cannot tell where this program lies: " + error.message(), ExitFailure);
    HackFileJob job;
    job.Command = HackListCommand(self);
    if (job.Command.empty())
        return say(stderr,
                   "the path " + self.string() + " would not survive the daemon's command line: install it elsewhere",
                   ExitFailure);
    job.File = std::string(home) + "/.xscreensaver";
    job.Add = add;
    std::string said;
    const int code = EditHackFile(job, &said);
    return say(code == ExitOk ? stdout : stderr, said, code);
}
