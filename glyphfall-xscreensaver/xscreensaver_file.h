// Enabling the hack in one step: its entry in the programs list of the
// user's ~/.xscreensaver, added or taken out, the rest of the file kept.
#pragma once
#include <string>

// What an edit of the file did. Number counts the list's entries from 1,
// disabled ones included, as `xscreensaver-command -select N` does.
struct HackListEdit {
    bool Changed = false;   // Text differs from the file
    int Number = 0;         // our entry's place in the list (after adding; before taking out); 0: none
    std::string Text;       // the file's new text
};

// Adds command, named "Glyphfall" for the settings program, to the programs
// list of the file's text, or takes every entry of command's program out. A file that does not
// exist (text null) or has no programs list starts from the list in
// defaults (the daemon's app-defaults file). An entry already there is left
// as it is, or enabled when disabled.
HackListEdit EditHackList(const std::string* text, const std::string& defaults, const std::string& command, bool add);

// The entry's command line for the program at that path: its bare name
// where the daemon looks for hacks, else the path; "" for a path the
// daemon's command line would mangle.
std::string HackListCommand(const std::string& program);

// Does it on $HOME/.xscreensaver, keeping the old file as .xscreensaver.bak,
// and says what it did on stdout (or why not on stderr). Returns the exit
// code.
int InstallHack(bool add);
