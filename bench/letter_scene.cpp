// Scenes of a chosen letter for the benchmarks.
#include "bench/letter_scene.h"

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
