// glyphfall-png-strip: puts PNG pictures side by side, enlarged by a whole
// factor with nearest-neighbour pixels, with a gap between them. Used to
// make the README's pictures from glyphfall-render's output.
//   glyphfall-png-strip OUT.png SCALE GAP IN.png...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <png.h>

struct Picture {
    uint32_t Width, Height;
    std::vector<uint8_t> Rgb;
};

static bool Load(const char* path, Picture* out)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path))
        return false;
    image.format = PNG_FORMAT_RGB;
    out->Width = image.width;
    out->Height = image.height;
    out->Rgb.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, out->Rgb.data(), 0, nullptr) != 0;
}

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: glyphfall-png-strip OUT.png SCALE GAP IN.png...\n");
        return 2;
    }
    const uint32_t scale = uint32_t(std::atoi(argv[2])), gap = uint32_t(std::atoi(argv[3]));
    if (scale < 1 || scale > 16 || gap > 256) {
        std::fprintf(stderr, "glyphfall-png-strip: SCALE must be 1..16 and GAP 0..256\n");
        return 2;
    }
    std::vector<Picture> pictures(size_t(argc - 4));
    uint32_t width = 0, height = 0;
    for (size_t i = 0; i < pictures.size(); ++i) {
        if (!Load(argv[4 + i], &pictures[i])) {
            std::fprintf(stderr, "glyphfall-png-strip: cannot read %s\n", argv[4 + i]);
            return 1;
        }
        width += pictures[i].Width * scale + (i ? gap : 0);
        height = std::max(height, pictures[i].Height * scale);
    }
    // Grey between the pictures, whose own backgrounds are white.
    std::vector<uint8_t> strip(size_t(width) * height * 3, 160);
    uint32_t left = 0;
    for (const Picture& p : pictures) {
        for (uint32_t y = 0; y < p.Height * scale; ++y)
            for (uint32_t x = 0; x < p.Width * scale; ++x)
                std::memcpy(&strip[(size_t(y) * width + left + x) * 3],
                            &p.Rgb[(size_t(y / scale) * p.Width + x / scale) * 3], 3);
        left += p.Width * scale + gap;
    }
    png_image out;
    std::memset(&out, 0, sizeof out);
    out.version = PNG_IMAGE_VERSION;
    out.width = width;
    out.height = height;
    out.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&out, argv[1], 0, strip.data(), 0, nullptr)) {
        std::fprintf(stderr, "glyphfall-png-strip: cannot write %s: %s\n", argv[1], out.message);
        return 1;
    }
    return 0;
}
