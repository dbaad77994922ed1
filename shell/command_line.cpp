// The command-line pieces every program uses.
#include "shell/command_line.h"

#include <cstdio>
#include <cstring>

NumberResult ParseWhole(const char* begin, const char* end, int base, uint64_t max, uint64_t* value)
{
    if (begin == end)
        return NumberMalformed;
    uint64_t v = 0;
    bool tooLarge = false;
    for (const char* p = begin; p != end; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9')
            digit = *p - '0';
        else if (base == 16 && *p >= 'a' && *p <= 'f')
            digit = *p - 'a' + 10;
        else if (base == 16 && *p >= 'A' && *p <= 'F')
            digit = *p - 'A' + 10;
        else
            return NumberMalformed;
        // Tested before the multiplication, so that nothing overflows.
        if (!tooLarge && (uint64_t(digit) > max || v > (max - uint64_t(digit)) / uint64_t(base)))
            tooLarge = true;
        if (!tooLarge)
            v = v * uint64_t(base) + uint64_t(digit);
    }
    if (tooLarge)
        return NumberTooLarge;
    *value = v;
    return NumberOk;
}

NumberResult ParseWhole(const char* text, int base, uint64_t max, uint64_t* value)
{
    return ParseWhole(text, text + std::strlen(text), base, max, value);
}

std::string Quoted(const std::string& text)
{
    std::string out = "'";
    for (const unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F || c == '\\' || c == '\'') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        } else {
            out += char(c);
        }
    }
    return out + "'";
}

bool ReadOption(int argc, char** argv, int* i, std::initializer_list<const char*> takingValue, Option* option,
                std::string* error)
{
    const char* arg = argv[*i];
    const char* bare = arg[0] == '-' ? (arg[1] == '-' ? arg + 2 : arg + 1) : nullptr;
    const char* eq = bare ? std::strchr(bare, '=') : nullptr;
    option->Name = !bare ? "" : eq ? std::string(bare, eq) : std::string(bare);
    option->Value = nullptr;
    if (option->Name.empty()) {
        *error = "unexpected argument " + Quoted(arg) + " (see --help)";
        return false;
    }
    bool takesValue = false;
    for (const char* name : takingValue)
        takesValue = takesValue || option->Name == name;
    if (!takesValue && eq) {
        *error = "option " + Quoted(arg) + " takes no value";
        return false;
    }
    if (!takesValue)
        return true;
    option->Value = eq ? eq + 1 : (*i + 1 < argc ? argv[++*i] : nullptr);
    if (!option->Value)
        *error = "--" + option->Name + " needs a value";
    return option->Value != nullptr;
}

std::string UnknownOption(const char* arg)
{
    return "unknown option " + Quoted(arg) + " (see --help)";
}

bool ReadDelay(const char* value, uint32_t* delay, std::string* error)
{
    uint64_t number = 0;
    if (ParseWhole(value, 10, MaxDelay, &number) != NumberOk) {
        *error = "--delay " + Quoted(value) + ": expected microseconds from 0 to " + std::to_string(MaxDelay);
        return false;
    }
    *delay = uint32_t(number);
    return true;
}
