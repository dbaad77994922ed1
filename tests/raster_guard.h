// A raster for the length of a test: created for a screen size, released at
// the end of the scope whatever the test did; the BlockList starts and ends
// empty with it.
#pragma once
#include <string>

#include "scene/scene.h"

struct RasterGuard {
    RasterGuard(int32_t w, int32_t h)
    {
        std::string error;
        ok = CreateRaster(w, h, &error);
        BlockList.clear();
    }
    ~RasterGuard()
    {
        ReleaseRaster();
        BlockList.clear();
    }
    RasterGuard(const RasterGuard&) = delete;
    RasterGuard& operator=(const RasterGuard&) = delete;
    bool ok;
};
