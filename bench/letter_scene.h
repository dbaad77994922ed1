// Scenes of a chosen letter for the benchmarks: the scene cycle's steps
// without its pauses and without the random letter.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "scene/scene.h"

// The 32 letters a scene draws from, as Windows-1251 bytes.
constexpr int LetterCount = 32;
constexpr uint8_t FirstLetter = 0xC0;

// Creates the raster for a width x height screen and opens the letter font
// at the em the program uses for that DPI. Returns false with the reason.
bool PrepareLetterRaster(int32_t width, int32_t height, int dpi, std::string* error);

// The BlockList of the scene for letter code (colours from a fixed seed).
// The raster is left showing the two-tone letter.
std::vector<Block> LetterBlocks(uint8_t code);

// Reads a block list as glyphfall-render --blocks writes it: a header line,
// then one block a line, reals as hexadecimal literals, so the blocks have
// the bits of the writer's. For a build with no letter font of its own (or
// the same scenes on two builds). Returns false with the reason.
bool ReadBlocksCsv(const std::string& path, std::vector<Block>* blocks, std::string* error);
