// The raster's memory and the platform's two drawing operations on it: a
// white fill and one character of the raster's font. Linux: plain memory
// with FreeType and fontconfig (platform/freetype/surface_freetype.cpp); Windows: a DIB
// section with GDI (platform/win32/surface_win32.cpp). Drawing and direct
// access through the row pointers see the same memory, and a drawing call is
// complete when it returns.
#pragma once
#include <cstdint>
#include <string>

// Makes a white surface of width x height 24-bit pixels (blue, green, red;
// rows 4-byte aligned) and puts each row's first byte in rows[0..height),
// top row first. Replaces the surface made before, which is released only
// once the new one exists. Returns false with the platform's reason ("" when
// it gives none) when the memory is refused; the earlier surface then stays.
bool PlatformCreateSurface(int32_t width, int32_t height, uint8_t** rows, std::string* error);

// Releases the surface. Safe to repeat.
void PlatformReleaseSurface();

// Fills a right/bottom-exclusive rectangle with white, clipped to the surface.
void PlatformFillWhite(int32_t left, int32_t top, int32_t right, int32_t bottom);

// Opens the installed face nearest to face that has the Cyrillic capitals, at
// an em of emPixels pixels. Returns false with a sentence naming what was
// searched for when there is none.
bool PlatformOpenFont(const char* face, int emPixels, std::string* error);

// Draws one character given as a Windows-1251 byte, whatever the system's
// own 8-bit code page: black (the system's text colour) on an opaque white
// cell whose top-left corner is (left, top). What falls outside the surface
// is not drawn; without an open font nothing is.
void PlatformDrawCharacter(uint8_t code, int32_t left, int32_t top);

void PlatformCloseFont();
