// Output files of glyphfall-render: temporary files renamed into place, the
// PNG encoder (libpng) and the block CSV.
#include "glyphfall-render/files.h"

#include <csetjmp>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include "glyphfall-render/options.h"
#include "shell/command_line.h"

// Temporary files not yet renamed or removed, for the signal handler. The
// strings they point into belong to OutputFile records that live until exit.
static const char* volatile PendingTemps[8];

static void Track(const char* temp)
{
    for (auto& slot : PendingTemps)
        if (!slot) {
            slot = temp;
            return;
        }
}

static void Untrack(const char* temp)
{
    for (auto& slot : PendingTemps)
        if (slot == temp)
            slot = nullptr;
}

void DiscardAllOutputsAndExit(int code)
{
    for (auto& slot : PendingTemps)
        if (const char* temp = slot)
            unlink(temp);
    _exit(code);
}

static std::string CannotWrite(const std::string& path, const char* reason)
{
    return "cannot write " + Quoted(path) + ": " + reason;
}

bool OpenOutput(const std::string& path, OutputFile* out, std::string* error)
{
    out->Path = path;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        // Renaming onto a device or a directory would replace it (or fail at
        // the very end); only regular files are overwritten.
        if (S_ISDIR(st.st_mode)) {
            *error = CannotWrite(path, "it is a directory");
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            *error = CannotWrite(path, "it is not a regular file");
            return false;
        }
        if (access(path.c_str(), W_OK) != 0) {
            *error = CannotWrite(path, std::strerror(errno));
            return false;
        }
        // A symbolic link keeps pointing at the new content: the rename goes
        // to its target.
        if (char* real = realpath(path.c_str(), nullptr)) {
            out->Path = real;
            std::free(real);
        }
    }
    out->TempPath = out->Path + ".tmp-XXXXXX";
    const int fd = mkstemp(out->TempPath.data());
    if (fd < 0) {
        *error = CannotWrite(path, std::strerror(errno));
        return false;
    }
    Track(out->TempPath.c_str());
    // mkstemp makes the file private; the result gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    out->Stream = fdopen(fd, "wb");
    if (!out->Stream) {
        *error = CannotWrite(path, std::strerror(errno));
        close(fd);
        unlink(out->TempPath.c_str());
        Untrack(out->TempPath.c_str());
        return false;
    }
    return true;
}

bool CommitOutput(OutputFile* out, std::string* error)
{
    if (!out->Stream)
        return false;
    const bool written = std::fflush(out->Stream) == 0 && !std::ferror(out->Stream) && fsync(fileno(out->Stream)) == 0;
    const int writeErrno = errno;
    const bool closed = std::fclose(out->Stream) == 0;
    out->Stream = nullptr;
    if (!written || !closed || rename(out->TempPath.c_str(), out->Path.c_str()) != 0) {
        *error = CannotWrite(out->Path, std::strerror(!written ? writeErrno : errno));
        unlink(out->TempPath.c_str());
        Untrack(out->TempPath.c_str());
        return false;
    }
    Untrack(out->TempPath.c_str());
    return true;
}

void DiscardOutput(OutputFile* out)
{
    if (!out->Stream)
        return;
    std::fclose(out->Stream);
    out->Stream = nullptr;
    unlink(out->TempPath.c_str());
    Untrack(out->TempPath.c_str());
}

// libpng reports errors through a callback that must not return.
struct PngFailure {
    std::jmp_buf Jump;
    char Message[200];
};

static void OnPngError(png_structp png, png_const_charp message)
{
    PngFailure* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->Message, sizeof failure->Message, "%s", message);
    std::longjmp(failure->Jump, 1);
}

static void OnPngWarning(png_structp, png_const_charp) {}

bool WritePng(FILE* file, uint8_t* const* rows, int32_t width, int32_t height, std::string* error)
{
    PngFailure failure = {};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, OnPngError, OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        *error = "libpng could not start: out of memory";
        return false;
    }
    // Only libpng's own frames lie between here and the longjmp; nothing
    // with a destructor is skipped.
    if (setjmp(failure.Jump)) {
        png_destroy_write_struct(&png, &info);
        *error = std::string("PNG encoding failed: ") + failure.Message;
        return false;
    }
    png_init_io(png, file);
    // Rasters of very wide screens exceed libpng's default million columns.
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);  // the raster's bytes run blue, green, red
    for (int32_t y = 0; y < height; ++y)
        png_write_row(png, rows[y]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    if (std::ferror(file)) {
        *error = std::string("writing failed: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool WriteBlocksCsv(FILE* file, const std::vector<Block>& blocks, std::string* error)
{
    std::fputs("index,SizeX,SizeY,X,Y,VX,VY,Mass,Half,Red,Green,Blue\n", file);
    for (size_t i = 0; i < blocks.size(); ++i) {
        const Block& b = blocks[i];
        std::fprintf(file, "%zu,%d,%d,%a,%a,%a,%a,%u,%a,%u,%u,%u\n", i, b.SizeX, b.SizeY, b.X, b.Y, b.VX, b.VY,
                     b.Mass, b.Half, unsigned(b.Colour.Red), unsigned(b.Colour.Green), unsigned(b.Colour.Blue));
    }
    if (std::ferror(file)) {
        *error = std::string("writing failed: ") + std::strerror(errno);
        return false;
    }
    return true;
}
