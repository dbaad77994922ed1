// The raster's surface on Linux: plain memory, and the letter font:
// fontconfig picks the installed face nearest to the one asked for (and its
// smoothing settings), FreeType renders it, and the glyph's coverage is laid
// over a white cell here. The cell's ascent is the OS/2 table's usWinAscent
// scaled to the em and rounded, the metric the letter's place on the raster
// is defined by.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_LCD_FILTER_H
#include FT_TRUETYPE_TABLES_H

#include "platform/surface.h"

// The surface: one block of memory, rows 4-byte aligned.
static struct {
    uint8_t* Pixels = nullptr;
    int32_t Width = 0, Height = 0;
    size_t Stride = 0;
} Surface;

bool PlatformCreateSurface(int32_t width, int32_t height, uint8_t** rows, std::string* error)
{
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    uint8_t* pixels = static_cast<uint8_t*>(std::malloc(stride * size_t(height)));
    if (!pixels) {
        *error = "Out of system resources";
        return false;
    }
    // A new surface is entirely white.
    std::memset(pixels, 255, stride * size_t(height));
    PlatformReleaseSurface();
    Surface.Pixels = pixels;
    Surface.Width = width;
    Surface.Height = height;
    Surface.Stride = stride;
    for (int32_t y = 0; y < height; ++y)
        rows[y] = pixels + stride * size_t(y);
    return true;
}

void PlatformReleaseSurface()
{
    std::free(Surface.Pixels);
    Surface = {};
}

void PlatformFillWhite(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, Surface.Width);
    bottom = std::min(bottom, Surface.Height);
    if (left >= right)
        return;
    for (int32_t y = top; y < bottom; ++y)
        std::memset(Surface.Pixels + Surface.Stride * size_t(y) + size_t(left) * 3, 255, size_t(right - left) * 3);
}

// A rendered glyph: coverage from 0 (none) to 255 (full ink), either one
// value per pixel (Channels 1) or, with sub-pixel smoothing, three per pixel
// in blue, green, red order (Channels 3).
struct GlyphImage {
    int32_t Width, Height;    // in pixels
    int32_t Left;             // columns from the cell's left edge to the image's
    int32_t Top;              // rows from the cell's top edge to the image's
    int32_t Advance;          // the cell's width
    int32_t CellHeight;       // the cell's height: ascent + descent
    int Channels;
    const uint8_t* Coverage;  // Height rows of Width * Channels bytes; valid until the next call
};

static struct {
    FT_Library Library;
    FT_Face Face;
    std::string File;
    int32_t LoadFlags;           // FreeType load flags from the fontconfig settings
    FT_Render_Mode RenderMode;
    bool BgrOrder;               // sub-pixels run blue, green, red on the screen
    int32_t Ascent, Descent;     // cell metrics in pixels
    std::vector<uint8_t> Coverage;
} Font;

static bool CoversRange(FcPattern* font, uint32_t first, uint32_t last)
{
    FcCharSet* chars = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &chars) != FcResultMatch)
        return false;
    for (uint32_t c = first; c <= last; ++c)
        if (!FcCharSetHasChar(chars, c))
            return false;
    return true;
}

static int GetInt(FcPattern* p, const char* key, int fallback)
{
    int v;
    return FcPatternGetInteger(p, key, 0, &v) == FcResultMatch ? v : fallback;
}

static bool GetBool(FcPattern* p, const char* key, bool fallback)
{
    FcBool v;
    return FcPatternGetBool(p, key, 0, &v) == FcResultMatch ? v != FcFalse : fallback;
}

// Turns the matched pattern's smoothing settings into FreeType flags.
static void ChooseRendering(FcPattern* p)
{
    const bool antialias = GetBool(p, FC_ANTIALIAS, true);
    const bool hinting = GetBool(p, FC_HINTING, true);
    const int hintStyle = GetInt(p, FC_HINT_STYLE, FC_HINT_FULL);
    const int rgba = GetInt(p, FC_RGBA, FC_RGBA_UNKNOWN);
    const int lcdFilter = GetInt(p, FC_LCD_FILTER, FC_LCD_DEFAULT);

    int32_t flags = FT_LOAD_DEFAULT;
    if (!hinting || hintStyle == FC_HINT_NONE)
        flags |= FT_LOAD_NO_HINTING;
    if (GetBool(p, FC_AUTOHINT, false))
        flags |= FT_LOAD_FORCE_AUTOHINT;

    Font.BgrOrder = rgba == FC_RGBA_BGR;
    if (!antialias) {
        flags |= FT_LOAD_TARGET_MONO;
        Font.RenderMode = FT_RENDER_MODE_MONO;
    } else if (rgba == FC_RGBA_RGB || rgba == FC_RGBA_BGR) {
        flags |= hintStyle == FC_HINT_SLIGHT ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_LCD;
        Font.RenderMode = FT_RENDER_MODE_LCD;
        const FT_LcdFilter filter = lcdFilter == FC_LCD_NONE     ? FT_LCD_FILTER_NONE
                                    : lcdFilter == FC_LCD_LIGHT  ? FT_LCD_FILTER_LIGHT
                                    : lcdFilter == FC_LCD_LEGACY ? FT_LCD_FILTER_LEGACY
                                                                 : FT_LCD_FILTER_DEFAULT;
        FT_Library_SetLcdFilter(Font.Library, filter);
    } else {
        // Vertical sub-pixel layouts are rare on desktops; they get grey smoothing.
        flags |= hintStyle == FC_HINT_SLIGHT ? FT_LOAD_TARGET_LIGHT : FT_LOAD_TARGET_NORMAL;
        Font.RenderMode = FT_RENDER_MODE_NORMAL;
    }
    Font.LoadFlags = flags;
}

bool PlatformOpenFont(const char* face, int emPixels, std::string* error)
{
    // Windows-1251's capitals, U+0410..U+042F, are what the scenes draw.
    constexpr uint32_t first = 0x0410, last = 0x042F;
    PlatformCloseFont();
    char range[64];
    std::snprintf(range, sizeof range, "U+%04X..U+%04X", unsigned(first), unsigned(last));
    const std::string wanted = std::string("a font like \"") + face + "\" with the characters " + range;
    if (emPixels <= 0) {
        *error = "cannot set a font to an em of " + std::to_string(emPixels) + " pixels";
        return false;
    }
    if (!FcInit()) {
        *error = "fontconfig could not be initialised while looking for " + wanted;
        return false;
    }
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face));
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, emPixels);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);

    // The nearest face first; the first that has every letter wins.
    FcResult result;
    FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
    FcPattern* chosen = nullptr;
    for (int i = 0; sorted && i < sorted->nfont && !chosen; ++i)
        if (CoversRange(sorted->fonts[i], first, last))
            chosen = FcFontRenderPrepare(nullptr, pattern, sorted->fonts[i]);
    if (sorted)
        FcFontSetDestroy(sorted);
    FcPatternDestroy(pattern);
    if (!chosen) {
        *error = "no installed font found: looked for " + wanted + " (install fonts-liberation2)";
        return false;
    }

    FcChar8* file = nullptr;
    FcPatternGetString(chosen, FC_FILE, 0, &file);
    const int index = GetInt(chosen, FC_INDEX, 0);
    Font.File = file ? reinterpret_cast<const char*>(file) : "";

    FT_Error ft = FT_Init_FreeType(&Font.Library);
    if (!ft)
        ft = FT_New_Face(Font.Library, Font.File.c_str(), index, &Font.Face);
    if (!ft)
        ft = FT_Set_Pixel_Sizes(Font.Face, 0, FT_UInt(emPixels));
    if (ft) {
        *error = "FreeType cannot use " + Font.File + " (error " + std::to_string(ft) + "), found for " +
                 wanted;
        FcPatternDestroy(chosen);
        PlatformCloseFont();
        return false;
    }
    ChooseRendering(chosen);
    FcPatternDestroy(chosen);

    // Cell metrics from the OS/2 table, where the face has one.
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(Font.Face, FT_SFNT_OS2));
    const double upem = Font.Face->units_per_EM;
    if (os2 && upem > 0) {
        Font.Ascent = int32_t(std::lround(os2->usWinAscent * double(emPixels) / upem));
        Font.Descent = int32_t(std::lround(os2->usWinDescent * double(emPixels) / upem));
    } else {
        Font.Ascent = int32_t((Font.Face->size->metrics.ascender + 32) >> 6);
        Font.Descent = int32_t((-Font.Face->size->metrics.descender + 32) >> 6);
    }
    return true;
}

static bool RenderGlyph(uint32_t codePoint, GlyphImage* image)
{
    if (!Font.Face)
        return false;
    const FT_UInt index = FT_Get_Char_Index(Font.Face, codePoint);
    if (index == 0 || FT_Load_Glyph(Font.Face, index, Font.LoadFlags) ||
        FT_Render_Glyph(Font.Face->glyph, Font.RenderMode))
        return false;
    const FT_GlyphSlot slot = Font.Face->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    const bool lcd = bm.pixel_mode == FT_PIXEL_MODE_LCD;
    const int channels = lcd ? 3 : 1;
    const int32_t width = int32_t(lcd ? bm.width / 3 : bm.width);
    const int32_t height = int32_t(bm.rows);
    Font.Coverage.assign(size_t(width) * size_t(height) * size_t(channels), 0);
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = bm.buffer + ptrdiff_t(y) * bm.pitch;
        uint8_t* dst = Font.Coverage.data() + size_t(y) * size_t(width) * size_t(channels);
        for (int32_t x = 0; x < width; ++x) {
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
                dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            } else if (lcd) {
                // FreeType gives sub-pixels left to right; store blue, green, red.
                const uint8_t* s = src + x * 3;
                dst[x * 3 + 0] = Font.BgrOrder ? s[0] : s[2];
                dst[x * 3 + 1] = s[1];
                dst[x * 3 + 2] = Font.BgrOrder ? s[2] : s[0];
            } else {
                dst[x] = src[x];
            }
        }
    }
    image->Width = width;
    image->Height = height;
    image->Left = slot->bitmap_left;
    image->Top = Font.Ascent - slot->bitmap_top;
    image->Advance = int32_t((slot->advance.x + 32) >> 6);
    image->CellHeight = Font.Ascent + Font.Descent;
    image->Channels = channels;
    image->Coverage = Font.Coverage.data();
    return true;
}

// Windows-1251 for the bytes the scenes use: ASCII, and the Cyrillic
// letters at 0xC0..0xFF. Other bytes draw nothing (0).
static uint32_t CodePointOf(uint8_t code)
{
    if (code < 0x80)
        return code;
    if (code >= 0xC0)
        return 0x0410u + (code - 0xC0u);
    return 0;
}

void PlatformDrawCharacter(uint8_t code, int32_t left, int32_t top)
{
    GlyphImage glyph;
    const uint32_t cp = CodePointOf(code);
    if (cp == 0 || !RenderGlyph(cp, &glyph))
        return;
    // Opaque text: the whole character cell becomes white first.
    PlatformFillWhite(left, top, left + glyph.Advance, top + glyph.CellHeight);
    for (int32_t gy = 0; gy < glyph.Height; ++gy) {
        const int64_t y = int64_t(top) + glyph.Top + gy;
        if (y < 0 || y >= Surface.Height)
            continue;
        const uint8_t* src = glyph.Coverage + size_t(gy) * size_t(glyph.Width) * size_t(glyph.Channels);
        for (int32_t gx = 0; gx < glyph.Width; ++gx) {
            const int64_t x = int64_t(left) + glyph.Left + gx;
            if (x < 0 || x >= Surface.Width)
                continue;
            uint8_t* px = Surface.Pixels + Surface.Stride * size_t(y) + size_t(x) * 3;
            // Black ink over white: each channel loses what the ink covers.
            if (glyph.Channels == 3) {
                const uint8_t* c = src + gx * 3;
                px[0] = uint8_t(255 - c[0]);
                px[1] = uint8_t(255 - c[1]);
                px[2] = uint8_t(255 - c[2]);
            } else {
                const uint8_t v = uint8_t(255 - src[gx]);
                px[0] = px[1] = px[2] = v;
            }
        }
    }
}

void PlatformCloseFont()
{
    if (Font.Face)
        FT_Done_Face(Font.Face);
    if (Font.Library)
        FT_Done_FreeType(Font.Library);
    Font.Face = nullptr;
    Font.Library = nullptr;
    Font.File.clear();
    Font.Coverage.clear();
}
