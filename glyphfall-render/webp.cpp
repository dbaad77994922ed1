// The animated WebP of glyphfall-render.
#include "glyphfall-render/webp.h"

#include <cerrno>
#include <cstring>

#include <webp/encode.h>
#include <webp/mux.h>

static struct {
    WebPAnimEncoder* Encoder = nullptr;
    WebPConfig Config;
    int32_t Width = 0, Height = 0;  // raster pixels
    int Scale = 1;
    int Timestamp = 0;              // milliseconds from the start to the next frame
} Webp;

bool BeginWebp(int32_t width, int32_t height, int scale, std::string* error)
{
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&Webp.Config)) {
        *error = "libwebp's version does not match its headers";
        return false;
    }
    options.anim_params.loop_count = 0;  // forever
    options.anim_params.bgcolor = 0xFFFFFFFF;
    Webp.Config.lossless = 1;
    Webp.Config.quality = 75;  // lossless: the effort spent compressing
    Webp.Config.method = 4;
    Webp.Encoder = WebPAnimEncoderNew(width * scale, height * scale, &options);
    if (!Webp.Encoder) {
        *error = "libwebp cannot make an animation of " + std::to_string(width * scale) + " x " +
                 std::to_string(height * scale) + " pixels";
        return false;
    }
    Webp.Width = width;
    Webp.Height = height;
    Webp.Scale = scale;
    Webp.Timestamp = 0;
    return true;
}

bool AddWebpFrame(const uint8_t* const* rows, int durationMs, std::string* error)
{
    WebPPicture picture;
    WebPPictureInit(&picture);
    picture.use_argb = 1;
    picture.width = Webp.Width * Webp.Scale;
    picture.height = Webp.Height * Webp.Scale;
    if (!WebPPictureAlloc(&picture)) {
        *error = "libwebp: out of memory for a frame";
        return false;
    }
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* src = rows[y / Webp.Scale];
        uint32_t* out = picture.argb + size_t(y) * size_t(picture.argb_stride);
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* px = src + size_t(x / Webp.Scale) * 3;
            out[x] = 0xFF000000u | uint32_t(px[2]) << 16 | uint32_t(px[1]) << 8 | px[0];
        }
    }
    const bool added = WebPAnimEncoderAdd(Webp.Encoder, &picture, Webp.Timestamp, &Webp.Config);
    WebPPictureFree(&picture);
    if (!added) {
        *error = std::string("libwebp: ") + WebPAnimEncoderGetError(Webp.Encoder);
        return false;
    }
    Webp.Timestamp += durationMs;
    return true;
}

bool EndWebp(FILE* file, std::string* error)
{
    if (!Webp.Encoder)
        return true;
    WebPData data;
    WebPDataInit(&data);
    // The closing timestamp gives the last frame its duration.
    bool ok = WebPAnimEncoderAdd(Webp.Encoder, nullptr, Webp.Timestamp, nullptr) &&
              WebPAnimEncoderAssemble(Webp.Encoder, &data);
    if (!ok)
        *error = std::string("libwebp: ") + WebPAnimEncoderGetError(Webp.Encoder);
    else if (file && std::fwrite(data.bytes, 1, data.size, file) != data.size) {
        *error = std::string("writing failed: ") + std::strerror(errno);
        ok = false;
    }
    WebPDataClear(&data);
    WebPAnimEncoderDelete(Webp.Encoder);
    Webp.Encoder = nullptr;
    return ok;
}
