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
