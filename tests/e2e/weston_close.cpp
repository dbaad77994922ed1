// A weston module for the Wayland tests: F10 makes weston ask the focused
// window to close (xdg_toplevel.close), as a desktop's close button would.
// Weston 10's own shells never send that request. F10 is a key glyphfall
// ignores, and weston keeps a bound key from the window anyway, so only the
// request can end it.
extern "C" {
#include <libweston/libweston.h>
#include <libweston-desktop/libweston-desktop.h>
}
#include <linux/input-event-codes.h>

static void CloseFocused(weston_keyboard* keyboard, const timespec*, uint32_t, void*)
{
    if (keyboard->focus)
        if (weston_desktop_surface* surface = weston_surface_get_desktop_surface(keyboard->focus))
            weston_desktop_surface_close(surface);
}

// Weston's entry point for a module given with --modules.
extern "C" WL_EXPORT int wet_module_init(weston_compositor* compositor, int*, char*[])
{
    return weston_compositor_add_key_binding(compositor, KEY_F10, weston_keyboard_modifier(0), CloseFocused, nullptr)
               ? 0
               : -1;
}
