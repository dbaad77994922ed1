// Scenes of a chosen letter for the benchmarks.
#include "bench/letter_scene.h"

#include <algorithm>
#include <charconv>
#include <fstream>

#include "common/random.h"

bool PrepareLetterRaster(int32_t width, int32_t height, int dpi, std::string* error)
{
    if (!CreateRaster(width, height, error))
        return false;
    // The program's em: one inch of the letter at the desktop's DPI.
    return SetRasterFont("Times New Roman", dpi, error);
}

std::vector<Block> LetterBlocks(uint8_t code)
{
    RandSeed = 12345u + code;
    ClearRaster();
    DrawLetter(code);
    BlockList.clear();
    MakeTwoTone();
    Decompose(WorkRect);
    return BlockList;
}

namespace {

// One field of a line, as %a wrote it (or a plain integer); false when the
// whole field is not a number.
bool ReadField(const char*& at, const char* end, double* out)
{
    const char* stop = std::find(at, end, ',');
    const char* digits = at;
    const bool negative = digits < stop && *digits == '-';
    digits += negative;
    const bool hex = stop - digits > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    const auto [next, failed] =
        std::from_chars(digits + (hex ? 2 : 0), stop, *out, hex ? std::chars_format::hex : std::chars_format::general);
    if (failed != std::errc() || next != stop || digits == stop)
        return false;
    *out = negative ? -*out : *out;
    at = stop + (stop < end);
    return true;
}

}  // namespace

bool ReadBlocksCsv(const std::string& path, std::vector<Block>* blocks, std::string* error)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) {
        *error = "cannot read '" + path + "'";
        return false;
    }
    blocks->clear();
    for (size_t number = 2; std::getline(in, line); ++number) {
        double f[12];
        const char *at = line.data(), *end = at + line.size();
        for (double& field : f)
            if (!ReadField(at, end, &field)) {
                *error = path + ":" + std::to_string(number) + ": not a block";
                return false;
            }
        blocks->push_back({int32_t(f[1]), int32_t(f[2]), f[3], f[4], f[5], f[6], uint32_t(f[7]), f[8],
                           {uint8_t(f[11]), uint8_t(f[10]), uint8_t(f[9])}});
    }
    return true;
}
