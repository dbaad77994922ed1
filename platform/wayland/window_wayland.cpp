// The Wayland backend of glyphfall-saver: one surface on the overlay layer
// (zwlr_layer_shell_v1) over the whole of one output, above panels and
// full-screen windows, with the keyboard's focus and no cursor. Frames are
// enlarged on the CPU into shared-memory buffers of the output's physical
// pixels, which viewporter lays one to one over a scaled output (without
// it, the buffer scale does for whole scales).
//
// Threads: libwayland is used on the main thread only. Frames from the
// animation thread come through the frame pump; its wake-up is a pipe polled
// beside the compositor's socket.
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <wayland-client.h>

#include "platform/display.h"
#include "platform/frame_pump.h"
#include "platform/posix/window_posix.h"
#include "platform/process.h"
#include "platform/scaler.h"
#include "platform/wayland/wayland.h"
#include "platform/window.h"
#include "viewporter-client.h"
#include "wlr-layer-shell-unstable-v1-client.h"

namespace {

struct ShmBuffer {
    wl_buffer* Buffer = nullptr;
    uint32_t* Pixels = nullptr;   // Width x Height, rows packed
    bool Busy = false;            // committed, not yet released by the compositor
};

}  // namespace

static struct {
    wl_display* Display = nullptr;
    wl_registry* Registry = nullptr;
    wl_compositor* Compositor = nullptr;
    wl_shm* Shm = nullptr;
    wl_seat* Seat = nullptr;                 // the first seat: its pointer and keyboard end the saver
    wl_pointer* Pointer = nullptr;
    wl_keyboard* Keyboard = nullptr;
    zwlr_layer_shell_v1* LayerShell = nullptr;
    wp_viewporter* Viewporter = nullptr;     // null where the compositor has none
    wl_output* Output = nullptr;             // the output covered
    uint32_t OutputName = 0;                 // its registry name
    int32_t ModeWidth = 0, ModeHeight = 0;   // its current mode in physical pixels, before its transform
    int32_t RefreshMhz = 0;                  // the mode's refresh rate in millihertz, 0 when unknown
    int32_t Transform = WL_OUTPUT_TRANSFORM_NORMAL;
    int32_t Scale = 1;                       // its whole scale
    bool Gone = false;                       // the output or the surface on it has gone
    bool GoneTold = false;                   // the EventClose for that has been queued
    wl_surface* Surface = nullptr;
    zwlr_layer_surface_v1* Layer = nullptr;
    wp_viewport* Viewport = nullptr;
    bool Configured = false;                 // the compositor has given the surface its size
    int32_t LogicalWidth = 0, LogicalHeight = 0;   // that size, in the desktop's units
    int32_t Width = 0, Height = 0;           // the buffers' size in physical pixels
    void* Memory = nullptr;                  // both buffers' shared memory
    size_t MemoryBytes = 0;
    ShmBuffer Buffers[2];
    bool FrameShown = false;                 // a frame went into the current buffers
    bool ShowRefused = false;                // a frame found both buffers busy: shown again on a release
    int32_t PointerX = 0, PointerY = 0;      // the pointer's last position on the surface
    std::chrono::steady_clock::time_point LeftAt;   // when the pointer left the surface, if it did
    bool PointerLeft = false;                // it left and has not come back
    std::string Overlay;                     // the steps-per-second line, or ""
    ScaleTables Tables;
} W;

bool WaylandOutputGone()
{
    return W.Gone;
}

wl_display* WaylandConnect(std::string* error)
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    if (!(name && *name) && !(socket && *socket)) {
        *error = "WAYLAND_DISPLAY is not set: this program covers the outputs of a Wayland compositor";
        return nullptr;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        *error = std::string("cannot connect to the Wayland compositor WAYLAND_DISPLAY=") + (name ? name : "") +
                 ": " + std::strerror(errno);
    return display;
}

[[noreturn]] static void Lost()
{
    PlatformExitLostDisplay("Wayland compositor");
}

// --- Buffers ---

static void FreeBuffers()
{
    for (ShmBuffer& b : W.Buffers) {
        if (b.Buffer)
            wl_buffer_destroy(b.Buffer);
        b = ShmBuffer{};
    }
    if (W.Memory)
        munmap(W.Memory, W.MemoryBytes);
    W.Memory = nullptr;
    W.FrameShown = false;
}

static const wl_buffer_listener BufferListener = {
    .release =
        [](void* data, wl_buffer*) {
            static_cast<ShmBuffer*>(data)->Busy = false;
            if (std::exchange(W.ShowRefused, false))
                PumpShowAgain();
        },
};

// Two white buffers of width x height in one pool, in place of the ones
// there were; false, those kept, when the memory is refused (the pool's size
// is a 32-bit count).
static bool MakeBuffers(int32_t width, int32_t height)
{
    const size_t bytes = size_t(width) * size_t(height) * 4;
    if (bytes * 2 > size_t(INT32_MAX))
        return false;
    const int fd = memfd_create("glyphfall-saver", MFD_CLOEXEC);
    void* memory = fd >= 0 && ftruncate(fd, off_t(bytes * 2)) == 0
                       ? mmap(nullptr, bytes * 2, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
    if (memory == MAP_FAILED) {
        if (fd >= 0)
            close(fd);
        return false;
    }
    FreeBuffers();
    W.Memory = memory;
    W.MemoryBytes = bytes * 2;
    std::memset(memory, 0xFF, bytes * 2);
    wl_shm_pool* pool = wl_shm_create_pool(W.Shm, fd, int32_t(bytes * 2));
    for (int i = 0; i < 2; ++i) {
        ShmBuffer& b = W.Buffers[i];
        b.Buffer = wl_shm_pool_create_buffer(pool, int32_t(bytes) * i, width, height, width * 4,
                                             WL_SHM_FORMAT_XRGB8888);
        b.Pixels = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(memory) + bytes * size_t(i));
        wl_buffer_add_listener(b.Buffer, &BufferListener, &b);
    }
    wl_shm_pool_destroy(pool);
    close(fd);
    return true;
}

static void Commit(ShmBuffer* b)
{
    wl_surface_attach(W.Surface, b->Buffer, 0, 0);
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(W.Surface)) >= 4)
        wl_surface_damage_buffer(W.Surface, 0, 0, W.Width, W.Height);
    else
        wl_surface_damage(W.Surface, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(W.Surface);
    b->Busy = true;
    wl_display_flush(W.Display);
}

// The surface's size in physical pixels: the output's mode, turned by its
// transform, where viewporter can lay a buffer of that size over the
// surface (anchored to all four edges, it covers the whole output); else
// the surface's size times the output's whole scale.
static void PhysicalSize(int32_t* width, int32_t* height)
{
    const bool quarterTurn = W.Transform % 2 == 1;   // 90 or 270 degrees, mirrored or not
    if (W.Viewporter && W.ModeWidth > 0 && W.ModeHeight > 0) {
        *width = quarterTurn ? W.ModeHeight : W.ModeWidth;
        *height = quarterTurn ? W.ModeWidth : W.ModeHeight;
    } else {
        *width = W.LogicalWidth * W.Scale;
        *height = W.LogicalHeight * W.Scale;
    }
}

// Fits the buffers to the surface's size and the output's; once the window
// is open, a change of size is queued as a resize and the picture shown
// again at the new size. False when the buffers cannot be made.
static bool FitSurface()
{
    int32_t width, height;
    PhysicalSize(&width, &height);
    if (W.Viewport)
        wp_viewport_set_destination(W.Viewport, W.LogicalWidth, W.LogicalHeight);
    else
        wl_surface_set_buffer_scale(W.Surface, W.Scale);
    if (width <= 0 || height <= 0)
        return false;
    if (width != W.Width || height != W.Height) {
        if (!MakeBuffers(width, height))
            return false;
        if (W.Width > 0)
            EventQueuePush(EventResize, width, height);
        W.Width = width;
        W.Height = height;
    }
    PumpShowAgain();
    // Until the first frame: white, so that the surface shows at once.
    if (!W.FrameShown)
        Commit(&W.Buffers[W.Buffers[0].Busy ? 1 : 0]);
    return true;
}

// --- Listeners ---

static const zwlr_layer_surface_v1_listener LayerListener = {
    .configure =
        [](void*, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height) {
            zwlr_layer_surface_v1_ack_configure(layer, serial);
            // A size of 0 leaves it to the client: the output's, then.
            W.LogicalWidth = width ? int32_t(width) : W.ModeWidth / W.Scale;
            W.LogicalHeight = height ? int32_t(height) : W.ModeHeight / W.Scale;
            W.Configured = true;
            if (W.Width > 0)
                FitSurface();
        },
    .closed = [](void*, zwlr_layer_surface_v1*) { W.Gone = true; },
};

static const wl_output_listener OutputListener = {
    .geometry = [](void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                   int32_t transform) { W.Transform = transform; },
    .mode =
        [](void*, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t refresh) {
            if (!(flags & WL_OUTPUT_MODE_CURRENT))
                return;
            W.ModeWidth = width;
            W.ModeHeight = height;
            W.RefreshMhz = refresh;
        },
    .done =
        [](void*, wl_output*) {
            if (W.Width > 0)
                FitSurface();
        },
    .scale = [](void*, wl_output*, int32_t factor) { W.Scale = std::max(factor, 1); },
    .name = nullptr,          // version 4, not bound
    .description = nullptr,   // version 4, not bound
};

static void Moved(wl_fixed_t x, wl_fixed_t y)
{
    W.PointerX = wl_fixed_to_int(x);
    W.PointerY = wl_fixed_to_int(y);
    EventQueuePush(EventMouseMove, W.PointerX, W.PointerY);
}

static const wl_pointer_listener PointerListener = {
    .enter =
        [](void*, wl_pointer* pointer, uint32_t serial, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
            wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
            W.PointerLeft = false;
            Moved(x, y);
        },
    // Judged in BackendWaitEvent: sway takes the pointer away and gives it
    // back at once when the outputs change.
    .leave =
        [](void*, wl_pointer*, uint32_t, wl_surface*) {
            W.PointerLeft = true;
            W.LeftAt = std::chrono::steady_clock::now();
        },
    .motion = [](void*, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) { Moved(x, y); },
    .button =
        [](void*, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state) {
            if (state == WL_POINTER_BUTTON_STATE_PRESSED)
                EventQueuePush(EventButton, 0, 0,
                      button == BTN_LEFT     ? ButtonLeft
                      : button == BTN_RIGHT  ? ButtonRight
                      : button == BTN_MIDDLE ? ButtonMiddle
                                             : ButtonOther);
        },
    .axis = [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) { EventQueuePush(EventWheel); },
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, uint32_t, uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, uint32_t, int32_t) {},
    .axis_value120 = nullptr,   // version 8, not bound
};

// Every key, modifiers included: a screen saver wakes on any of them.
static const wl_keyboard_listener KeyboardListener = {
    .keymap = [](void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); },
    .enter = [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
    .leave = [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
    .key =
        [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t state) {
            if (state == WL_KEYBOARD_KEY_STATE_PRESSED)
                EventQueuePush(EventKey);
        },
    .modifiers = [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    .repeat_info = [](void*, wl_keyboard*, int32_t, int32_t) {},
};

// Releases a seat device: with the request from version 3 on, else by
// forgetting it.
template <typename Device>
static void ReleaseDevice(Device** device, void (*release)(Device*), void (*destroy)(Device*))
{
    if (*device)
        (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(*device)) >= 3 ? release : destroy)(*device);
    *device = nullptr;
}

static const wl_seat_listener SeatListener = {
    .capabilities =
        [](void*, wl_seat* seat, uint32_t caps) {
            if ((caps & WL_SEAT_CAPABILITY_POINTER) && !W.Pointer) {
                W.Pointer = wl_seat_get_pointer(seat);
                wl_pointer_add_listener(W.Pointer, &PointerListener, nullptr);
            } else if (!(caps & WL_SEAT_CAPABILITY_POINTER)) {
                ReleaseDevice(&W.Pointer, wl_pointer_release, wl_pointer_destroy);
            }
            if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && !W.Keyboard) {
                W.Keyboard = wl_seat_get_keyboard(seat);
                wl_keyboard_add_listener(W.Keyboard, &KeyboardListener, nullptr);
            } else if (!(caps & WL_SEAT_CAPABILITY_KEYBOARD)) {
                ReleaseDevice(&W.Keyboard, wl_keyboard_release, wl_keyboard_destroy);
            }
        },
    .name = [](void*, wl_seat*, const char*) {},
};

static void OnGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    auto bind = [&](const wl_interface* type, uint32_t newest) {
        return wl_registry_bind(registry, name, type, std::min(version, newest));
    };
    const std::string is = interface;
    if (is == wl_compositor_interface.name) {
        W.Compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (is == wl_shm_interface.name) {
        W.Shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (is == wl_seat_interface.name && !W.Seat) {
        W.Seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
        wl_seat_add_listener(W.Seat, &SeatListener, nullptr);
    } else if (is == zwlr_layer_shell_v1_interface.name) {
        W.LayerShell = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 3));
    } else if (is == wp_viewporter_interface.name) {
        W.Viewporter = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
    } else if (is == wl_output_interface.name && name == W.OutputName && !W.Output) {
        W.Output = static_cast<wl_output*>(bind(&wl_output_interface, 3));
        wl_output_add_listener(W.Output, &OutputListener, nullptr);
    }
}

static const wl_registry_listener RegistryListener = {
    .global = OnGlobal,
    .global_remove =
        [](void*, wl_registry*, uint32_t name) {
            if (name == W.OutputName)
                W.Gone = true;
        },
};

// --- The window ---

bool PlatformOpenWindow(const WindowPlace& place, const char*, int32_t* width, int32_t* height,
                        std::string* error)
{
    if (place.Kind != PlaceOutput || place.Handle == 0 || place.Handle > UINT32_MAX) {
        *error = "this window backend serves a whole Wayland output only";
        return false;
    }
    W.OutputName = uint32_t(place.Handle);
    if (!(W.Display = WaylandConnect(error)))
        return false;
    W.Registry = wl_display_get_registry(W.Display);
    wl_registry_add_listener(W.Registry, &RegistryListener, nullptr);
    // The globals; then what the bound ones tell at once: the output's mode
    // and scale, the seat's devices.
    const bool talked = wl_display_roundtrip(W.Display) >= 0 && wl_display_roundtrip(W.Display) >= 0;
    W.Gone = W.Gone || !W.Output;
    const char* missing = !W.Compositor ? "wl_compositor" : !W.Shm ? "wl_shm" : !W.LayerShell ? "layer-shell" : nullptr;
    if (!talked || W.Gone || missing) {
        *error = !talked  ? "lost the connection to the Wayland compositor"
                 : W.Gone ? "output " + std::to_string(W.OutputName) + " is not there"
                          : std::string("the compositor offers no ") + missing;
        PlatformCloseWindow();
        return false;
    }
    W.Surface = wl_compositor_create_surface(W.Compositor);
    if (W.Viewporter)
        W.Viewport = wp_viewporter_get_viewport(W.Viewporter, W.Surface);
    W.Layer = zwlr_layer_shell_v1_get_layer_surface(W.LayerShell, W.Surface, W.Output,
                                                    ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "glyphfall-saver");
    zwlr_layer_surface_v1_add_listener(W.Layer, &LayerListener, nullptr);
    zwlr_layer_surface_v1_set_anchor(W.Layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                  ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                  ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    // Over panels too, rather than beside them.
    zwlr_layer_surface_v1_set_exclusive_zone(W.Layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(W.Layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
    wl_surface_commit(W.Surface);
    while (!W.Configured && !W.Gone)
        if (wl_display_dispatch(W.Display) < 0) {
            *error = "lost the connection to the Wayland compositor";
            PlatformCloseWindow();
            return false;
        }
    if (W.Gone || !EventQueueOpen() || !FitSurface()) {
        *error = W.Gone ? "output " + std::to_string(W.OutputName) + " has gone"
                        : "cannot make the picture's buffers or its wake-up: " + std::string(std::strerror(errno));
        PlatformCloseWindow();
        return false;
    }
    PumpStart((W.RefreshMhz + 500) / 1000);
    *width = W.Width;
    *height = W.Height;
    return true;
}

template <typename Object>
static void Destroy(Object** object, void (*destroy)(Object*))
{
    if (*object)
        destroy(*object);
    *object = nullptr;
}

void PlatformCloseWindow()
{
    PumpStop();
    if (!W.Display)
        return;
    FreeBuffers();
    Destroy(&W.Viewport, wp_viewport_destroy);
    Destroy(&W.Layer, zwlr_layer_surface_v1_destroy);
    Destroy(&W.Surface, wl_surface_destroy);
    ReleaseDevice(&W.Pointer, wl_pointer_release, wl_pointer_destroy);
    ReleaseDevice(&W.Keyboard, wl_keyboard_release, wl_keyboard_destroy);
    Destroy(&W.Seat, wl_seat_destroy);
    if (W.Output && wl_output_get_version(W.Output) >= 3)
        wl_output_release(std::exchange(W.Output, nullptr));
    Destroy(&W.Output, wl_output_destroy);
    // The layer shell's destroy request came with its version 3.
    if (W.LayerShell && zwlr_layer_shell_v1_get_version(W.LayerShell) >= 3)
        zwlr_layer_shell_v1_destroy(W.LayerShell);
    else if (W.LayerShell)
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(W.LayerShell));
    W.LayerShell = nullptr;
    Destroy(&W.Viewporter, wp_viewporter_destroy);
    Destroy(&W.Shm, wl_shm_destroy);
    Destroy(&W.Compositor, wl_compositor_destroy);
    Destroy(&W.Registry, wl_registry_destroy);
    wl_display_flush(W.Display);
    wl_display_disconnect(std::exchange(W.Display, nullptr));
    EventQueueClose();
}

int PlatformScreenDpi()
{
    // Wayland's convention: 96 times the output's scale, here the buffer's
    // physical pixels per unit of the desktop.
    return W.LogicalWidth > 0 ? int(96.0 * W.Width / W.LogicalWidth + 0.5) : 96 * W.Scale;
}

// Hidden on every entry of the pointer: Wayland sets cursors per surface.
void PlatformHideCursor() {}

void PlatformSetOverlay(const std::string& text)
{
    W.Overlay = text;
}

// --- The steps-per-second line ---

// A 5 x 7 glyph for each character the line uses: a byte per row, the
// leftmost pixel in bit 4.
struct Glyph {
    char Code;
    uint8_t Rows[7];
};
static const Glyph Glyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1E, 0x01, 0x01, 0x0E, 0x01, 0x01, 0x1E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0, 0, 0, 0, 0, 0x0C, 0x0C}},                {'/', {0x01, 0x02, 0x02, 0x04, 0x08, 0x08, 0x10}},
    {'s', {0, 0, 0x0F, 0x10, 0x0E, 0x01, 0x1E}},       {'t', {0x08, 0x08, 0x1E, 0x08, 0x08, 0x09, 0x06}},
    {'e', {0, 0, 0x0E, 0x11, 0x1F, 0x10, 0x0E}},       {'p', {0, 0, 0x1E, 0x11, 0x1E, 0x10, 0x10}},
};

// The line in white on black over the bottom-left corner, where X11's hack
// draws it, each glyph pixel a square of the output's scale; other
// characters show as spaces.
static void DrawOverlay(uint32_t* pixels)
{
    const int32_t unit = std::max(1, W.Width / std::max(W.LogicalWidth, 1));
    const int32_t left = 7 * unit, top = W.Height - 18 * unit;
    const int32_t right = left + (6 * int32_t(W.Overlay.size()) + 1) * unit, bottom = top + 9 * unit;
    auto put = [&](int32_t x, int32_t y, uint32_t colour) {
        if (x >= 0 && x < W.Width && y >= 0 && y < W.Height)
            pixels[size_t(y) * size_t(W.Width) + size_t(x)] = colour;
    };
    for (int32_t y = top; y < bottom; ++y)
        for (int32_t x = left; x < right; ++x)
            put(x, y, 0xFF000000u);
    for (size_t i = 0; i < W.Overlay.size(); ++i) {
        const Glyph* g = std::find_if(std::begin(Glyphs), std::end(Glyphs),
                                      [&](const Glyph& glyph) { return glyph.Code == W.Overlay[i]; });
        for (int32_t row = 0; g != std::end(Glyphs) && row < 7; ++row)
            for (int32_t column = 0; column < 5; ++column)
                for (int32_t k = 0; (g->Rows[row] >> (4 - column) & 1) && k < unit * unit; ++k)
                    put(left + (1 + 6 * int32_t(i) + column) * unit + k % unit, top + (1 + row) * unit + k / unit,
                        0xFFFFFFFFu);
    }
}

// --- The frame pump's part ---

bool BackendShowRows(const uint8_t* const* rows, int32_t width, int32_t height)
{
    if (!W.Surface || W.Gone || width <= 0)
        return false;
    ShmBuffer* b = std::find_if(std::begin(W.Buffers), std::end(W.Buffers), [](const ShmBuffer& s) { return !s.Busy; });
    if (b == std::end(W.Buffers)) {
        W.ShowRefused = true;
        return false;
    }
    PrepareScaleTables(&W.Tables, width, height, W.Width, W.Height);
    ScaleRaster(&W.Tables, rows, PixelLayout{16, 8, 0, 0xFF000000u}, reinterpret_cast<uint8_t*>(b->Pixels),
                W.Width * 4);
    if (!W.Overlay.empty())
        DrawOverlay(b->Pixels);
    Commit(b);
    W.FrameShown = true;
    return true;
}

bool BackendWake()
{
    return EventQueueWakeForFrame();
}

bool BackendWaitEvent(int ms, PlatformEvent* event)
{
    *event = PlatformEvent{EventNone, ButtonOther, 0, 0};
    if (EventQueueTake(event))
        return true;
    // Libwayland's way to wait beside other files: events already read are
    // dispatched first, requests sent, then the socket polled.
    while (wl_display_prepare_read(W.Display) != 0)
        if (wl_display_dispatch_pending(W.Display) < 0)
            Lost();
    pollfd fds[2] = {{wl_display_get_fd(W.Display), POLLIN, 0}, {EventQueueFd(), POLLIN, 0}};
    if (wl_display_flush(W.Display) < 0 && errno == EAGAIN)
        fds[0].events |= POLLOUT;
    poll(fds, 2, EventQueueWaiting() ? 0 : ms);
    if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) {
        if (wl_display_read_events(W.Display) < 0)
            Lost();
    } else {
        wl_display_cancel_read(W.Display);
    }
    if (fds[1].revents & POLLIN)
        EventQueueDrain();
    if (wl_display_dispatch_pending(W.Display) < 0)
        Lost();
    // A pointer gone for good, to another output (or under a surface above
    // ours): a move as far as the whole surface, which every move rule counts.
    if (W.PointerLeft && std::chrono::steady_clock::now() - W.LeftAt >= std::chrono::milliseconds(100)) {
        W.PointerLeft = false;
        EventQueuePush(EventMouseMove, W.PointerX + 2 * W.LogicalWidth + 1, W.PointerY);
    }
    // The output or the surface has gone: the window ends, once.
    if (W.Gone && !std::exchange(W.GoneTold, true))
        EventQueuePush(EventClose);
    return EventQueueTake(event);
}
