// glyphfall-render's animated picture: frames of the raster, enlarged by
// nearest neighbour, gathered into one animated WebP (libwebp's animation
// encoder, lossless, so block edges stay sharp and colours exact).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

// Starts an animation of width x height raster pixels, each shown as
// scale x scale. Returns false with the reason when libwebp refuses.
bool BeginWebp(int32_t width, int32_t height, int scale, std::string* error);

// Adds the raster's rows as the next frame, shown for durationMs.
bool AddWebpFrame(const uint8_t* const* rows, int durationMs, std::string* error);

// Encodes everything added and writes it to file; frees the encoder either
// way. Safe to call when nothing was begun (it only frees).
bool EndWebp(FILE* file, std::string* error);
