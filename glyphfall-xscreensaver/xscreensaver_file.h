// Enabling the hack in one step: its entry in the programs list of the
// user's ~/.xscreensaver, added or taken out, the rest of the file kept.
#pragma once
#include <string>
#include <vector>

// What an edit of the file did. Number counts the list's entries from 1,
// disabled ones included, as `xscreensaver-command -select N` does.
struct HackListEdit {
    bool Changed = false;   // Text differs from the file
    int Number = 0;         // our entry's place in the list (after adding; before taking out); 0: none
    std::string Text;       // the file's new text
    std::string Refused;    // why the file is left alone ("" when it is not), to follow its name
};

// Adds command, named "Glyphfall" for the settings program, to the programs
// list of the file's text, or takes every entry of command's program out. The
// text is read as XScreenSaver's own reader reads it. A file that does not
// exist (text null) or has no programs list starts from defaults (the
// system's list; empty: none found, and the edit is refused). An entry
// already there is left as it is, or enabled when disabled.
HackListEdit EditHackList(const std::string* text, const std::vector<std::string>& defaults,
                          const std::string& command, bool add);

// The system's list: the programs of the first of these app-defaults files
// that has them, read as X resources; empty when none has.
std::vector<std::string> DefaultPrograms(const std::vector<std::string>& files);

// The entry's command line for the program at that path: its bare name
// where the daemon looks for hacks, else the path; "" for a path the
// daemon's command line would mangle.
std::string HackListCommand(const std::string& program);

// One edit of a settings file on disk.
struct HackFileJob {
    std::string File;                        // ~/.xscreensaver, or a link to it
    std::string Command;                     // our entry's command line
    bool Add = true;                         // or take it out
    // Where distributions keep XScreenSaver's app-defaults file, with the system's list.
    std::vector<std::string> DefaultsFiles = {
        "/etc/X11/app-defaults/XScreenSaver", "/usr/share/X11/app-defaults/XScreenSaver",
        "/usr/lib/X11/app-defaults/XScreenSaver", "/usr/local/share/X11/app-defaults/XScreenSaver",
        "/usr/local/lib/X11/app-defaults/XScreenSaver"};
    void (*Meanwhile)(const std::string& file) = nullptr;   // tests: another program's save during the edit
};

// Edits the file (a link's target, the link kept) the safe way: refused,
// untouched, when it is not ours to edit (another user's, read-only, a
// dangling link, unreadable text); its owner, group and mode kept; the
// previous version kept as FILE.bak unless that already holds the user's own
// last version; both on disk before the file is replaced; redone when the
// file changes meanwhile; nothing left behind on failure. *said is one line
// about what it did or why not. Returns the exit code.
int EditHackFile(const HackFileJob& job, std::string* said);

// Does it on $HOME/.xscreensaver, and says so on stdout (or why not on
// stderr). Returns the exit code.
int InstallHack(bool add);
