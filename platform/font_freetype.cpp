// The letter font: fontconfig picks the installed face nearest to the one
// asked for (and its smoothing settings), FreeType renders it. The cell's
// ascent is the OS/2 table's usWinAscent scaled to the em and rounded, the
// metric the letter's place on the raster is defined by.
#include <cmath>
#include <cstdio>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_LCD_FILTER_H
#include FT_TRUETYPE_TABLES_H

#include "platform/platform.h"

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

bool PlatformOpenFont(const char* face, int emPixels, uint32_t first, uint32_t last, std::string* error)
{
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

bool PlatformRenderGlyph(uint32_t codePoint, GlyphImage* image)
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
