// glyphfall-render's outputs. Each is written to a temporary file beside the
// name asked for and renamed onto it only once complete, so a named path
// holds either its old content or the whole new file, never a part.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "scene/scene.h"

struct OutputFile {
    std::string Path;       // the name asked for (a symbolic link's target when it is one)
    std::string TempPath;   // where the content goes until it is complete
    FILE* Stream = nullptr; // open on TempPath; null once committed or discarded
};

// Checks that path can be written and creates its temporary file. Returns
// false with "cannot write 'path': reason" in error, leaving nothing behind.
bool OpenOutput(const std::string& path, OutputFile* out, std::string* error);

// Closes the temporary file and renames it onto the path. On failure the
// temporary file is removed and the path keeps what it held.
bool CommitOutput(OutputFile* out, std::string* error);

// Closes and removes the temporary file. Safe to repeat and on a file never opened.
void DiscardOutput(OutputFile* out);

// Removes every temporary file still open and ends the process with code;
// for signal handlers (only async-signal-safe calls).
[[noreturn]] void DiscardAllOutputsAndExit(int code);

// Writes width x height pixels, rows of blue, green, red bytes, as an 8-bit
// RGB PNG. Returns false with libpng's or the system's reason.
bool WritePng(FILE* file, uint8_t* const* rows, int32_t width, int32_t height, std::string* error);

// Writes the blocks as CSV: a header, then one row per block in list order,
// reals as C99 hexadecimal literals (%a) so they read back bit for bit.
bool WriteBlocksCsv(FILE* file, const std::vector<Block>& blocks, std::string* error);
