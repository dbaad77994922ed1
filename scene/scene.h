// The off-screen raster, its rectangles, the blocks a letter is cut into, and
// the scene cycle that builds one scene. Every picture is made here at 150
// rows and only enlarged when it is presented.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t RasterHeight = 150;

// Four edges; each use says whether Right and Bottom belong to the area.
struct Rectangle {
    int32_t Left, Top, Right, Bottom;
};

// Blue, green, red: the byte order of a raster pixel.
struct Bgr {
    uint8_t Blue, Green, Red;
};

// One square piece of the letter.
struct Block {
    int32_t SizeX;   // side length minus one (a 1-pixel block has 0)
    int32_t SizeY;   // always equal to SizeX
    double X;        // column of the centre, in raster pixels
    double Y;        // row of the centre
    double VX;       // velocity along columns, pixels per step
    double VY;       // velocity along rows
    uint32_t Mass;   // pixel count, (SizeX + 1)^2
    double Half;     // SizeX / 2
    Bgr Colour;      // each channel 0..219
};

extern int32_t RasterWidth;                  // columns, fixed at start-up
extern uint8_t* RowTable[RasterHeight];      // row y's first byte; row 0 at the top
extern Rectangle WorkRect;                   // inclusive: the whole raster
extern Rectangle ClearRect;                  // right/bottom-exclusive: columns 1.. of every row
extern std::vector<Block> BlockList;         // the current scene's blocks, in creation order
extern uint8_t SceneLetter;                  // the byte of the current scene's letter

// Raster width for a screen: Round(150 * width / height), ties to even.
int32_t RasterWidthFor(int32_t screenWidth, int32_t screenHeight);

// Creates the white raster for the screen size, its RowTable, WorkRect and
// ClearRect, replacing (and freeing) any raster made before. Returns false
// with the platform's reason when the raster cannot be made (a zero width, or
// memory refused); nothing is then allocated and an earlier raster stays.
bool CreateRaster(int32_t screenWidth, int32_t screenHeight, std::string* error);

// Frees the raster; the RowTable then holds null pointers. Safe to repeat.
void ReleaseRaster();

// Fills ClearRect with white; column 0 is left as it is.
void ClearRaster();

// Sets the letter font: face at an em of emPixels pixels, covering the
// Cyrillic capitals. Returns false with the reason when no such face exists.
bool SetRasterFont(const char* face, int emPixels, std::string* error);

// Draws one 8-bit character (Windows-1251) black on an opaque white cell
// whose top-left corner is column 60, row 20; what falls outside the raster
// is not drawn.
void DrawLetter(uint8_t code);

// Shows the raster on the screen (see PlatformPresent).
void PresentRaster();

// Per-channel mean over an inclusive rectangle, truncated.
Bgr MeanColour(Rectangle rect);

// Turns WorkRect into pure black and white, black being the minority tone.
void MakeTwoTone();

// Mean red byte over an inclusive rectangle, as a real.
double MeanRed(Rectangle rect);

// Cuts the black squares of the two-tone rect into Blocks appended to the
// BlockList, depth first, with random colours.
void Decompose(Rectangle rect);

// Asks for the next scene's raster to be shaped for a screen of width x
// height (a window that changed size). Any thread; NewScene applies it
// before it draws. A shape no raster can be made for is ignored.
void ReshapeAtNextScene(int32_t screenWidth, int32_t screenHeight);

// Builds one scene: a random letter, shown in two tones for a second, then
// cut into blocks; sets SceneStart and Animating unless a stop came first.
void NewScene();
