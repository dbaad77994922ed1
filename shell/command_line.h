// What the programs' command lines share: exit codes, the pacing's default
// and limit, strict whole numbers, and arguments quoted for one-line
// messages.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>

enum ExitCode {
    ExitOk = 0,
    ExitFailure = 1,       // a broken environment: no display, no font, a window gone wrong
    ExitBadArgument = 2,   // a bad argument (or, for glyphfall-render, a file it cannot write)
};

// The screen savers' default delay between animation steps, in microseconds:
// on a 1920x1080 raster the 32 letters' blocks first leave the picture empty
// after 1670 to over 30000 steps, a median of about 6600; at one step per
// 10 ms (plus the step itself) the median letter's motion lasts the scene's
// minute, and the CPU stays mostly idle.
constexpr uint32_t DefaultDelay = 10000;
// Ten seconds between steps is already a still picture.
constexpr uint32_t MaxDelay = 10000000;

enum NumberResult { NumberOk, NumberMalformed, NumberTooLarge };

// Digits of base 10 or 16 only, from begin to end: no sign, no spaces,
// nothing after them. A value above max is NumberTooLarge however long the
// text, without overflowing; *value is set only for NumberOk.
NumberResult ParseWhole(const char* begin, const char* end, int base, uint64_t max, uint64_t* value);
// The same for a whole C string.
NumberResult ParseWhole(const char* text, int base, uint64_t max, uint64_t* value);

// One option of a command line as XScreenSaver's hacks take them: one dash
// or two, the value after '=' or as the next argument.
struct Option {
    std::string Name;            // without its dashes
    const char* Value = nullptr; // null for an option that takes none
};

// Reads the option at argv[*i], moving *i past a value taken from the next
// argument; the names in takingValue take a value, the others none. False
// with one line in *error for a word that is no option, a value given to an
// option that takes none, or a value missing.
bool ReadOption(int argc, char** argv, int* i, std::initializer_list<const char*> takingValue, Option* option,
                std::string* error);

// The line for an option no program knows.
std::string UnknownOption(const char* arg);

// A --delay value: microseconds from 0 to MaxDelay. False with one line.
bool ReadDelay(const char* value, uint32_t* delay, std::string* error);

// Text for a one-line message: in single quotes, with control and non-ASCII
// bytes, quotes and backslashes as \xNN.
std::string Quoted(const std::string& text);
