// What glyphfall-saver's first process watches on Wayland: the outputs as
// the registry lists them (by registry name), whether layer-shell is offered
// (the scenes' processes use it), and in the idle mode an idle notification
// on the first seat: ext_idle_notifier_v1 where offered, else KDE's
// org_kde_kwin_idle (which sway 1.7 offers alone). Outputs are only listed,
// never bound.
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <string>

#include <wayland-client.h>

#include "ext-idle-notify-v1-client.h"
#include "glyphfall-saver/desktop.h"
#include "kde-idle-client.h"
#include "platform/wayland/wayland.h"

static struct {
    wl_display* Display = nullptr;
    wl_registry* Registry = nullptr;
    bool LayerShell = false;                       // zwlr_layer_shell_v1 is offered
    wl_seat* Seat = nullptr;
    ext_idle_notifier_v1* Notifier = nullptr;
    ext_idle_notification_v1* Notification = nullptr;
    org_kde_kwin_idle* KdeIdle = nullptr;
    org_kde_kwin_idle_timeout* KdeTimeout = nullptr;
    std::vector<uint32_t> Outputs;                 // registry names of the wl_output globals
    std::deque<bool> IdleNews;                     // true: idle; false: input came
} Desk;

static void OnGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    const std::string is = interface;
    if (is == wl_output_interface.name)
        Desk.Outputs.push_back(name);
    else if (is == "zwlr_layer_shell_v1")
        Desk.LayerShell = true;
    else if (is == wl_seat_interface.name && !Desk.Seat)
        Desk.Seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (is == ext_idle_notifier_v1_interface.name)
        Desk.Notifier =
            static_cast<ext_idle_notifier_v1*>(wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
    else if (is == org_kde_kwin_idle_interface.name)
        Desk.KdeIdle = static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
}

static const wl_registry_listener RegistryListener = {
    .global = OnGlobal,
    .global_remove = [](void*, wl_registry*, uint32_t name) { std::erase(Desk.Outputs, name); },
};

static const ext_idle_notification_v1_listener NotificationListener = {
    .idled = [](void*, ext_idle_notification_v1*) { Desk.IdleNews.push_back(true); },
    .resumed = [](void*, ext_idle_notification_v1*) { Desk.IdleNews.push_back(false); },
};

static const org_kde_kwin_idle_timeout_listener KdeTimeoutListener = {
    .idle = [](void*, org_kde_kwin_idle_timeout*) { Desk.IdleNews.push_back(true); },
    .resumed = [](void*, org_kde_kwin_idle_timeout*) { Desk.IdleNews.push_back(false); },
};

static void Close();

static bool Open(uint32_t idleSeconds, std::string* error)
{
    if (!(Desk.Display = WaylandConnect(error)))
        return false;
    Desk.Registry = wl_display_get_registry(Desk.Display);
    wl_registry_add_listener(Desk.Registry, &RegistryListener, nullptr);
    if (wl_display_roundtrip(Desk.Display) < 0)
        *error = "lost the connection to the Wayland compositor";
    else if (!Desk.LayerShell)
        *error = "the compositor offers no layer-shell (zwlr_layer_shell_v1) to cover its outputs with: "
                 "GNOME and weston have none; sway, Hyprland and KDE Plasma have it";
    else if (idleSeconds && (!Desk.Seat || (!Desk.Notifier && !Desk.KdeIdle)))
        *error = "the compositor tells no idleness (ext_idle_notifier_v1 or org_kde_kwin_idle): "
                 "start glyphfall-saver from an idle daemon instead of with --idle";
    else
        error->clear();
    if (!error->empty()) {
        Close();
        return false;
    }
    const uint32_t ms = idleSeconds * 1000;
    if (idleSeconds && Desk.Notifier) {
        Desk.Notification = ext_idle_notifier_v1_get_idle_notification(Desk.Notifier, ms, Desk.Seat);
        ext_idle_notification_v1_add_listener(Desk.Notification, &NotificationListener, nullptr);
    } else if (idleSeconds) {
        Desk.KdeTimeout = org_kde_kwin_idle_get_idle_timeout(Desk.KdeIdle, Desk.Seat, ms);
        org_kde_kwin_idle_timeout_add_listener(Desk.KdeTimeout, &KdeTimeoutListener, nullptr);
    }
    return true;
}

static void Close()
{
    if (!Desk.Display)
        return;
    if (Desk.Notification)
        ext_idle_notification_v1_destroy(Desk.Notification);
    if (Desk.Notifier)
        ext_idle_notifier_v1_destroy(Desk.Notifier);
    if (Desk.KdeTimeout)
        org_kde_kwin_idle_timeout_release(Desk.KdeTimeout);
    if (Desk.KdeIdle)
        org_kde_kwin_idle_destroy(Desk.KdeIdle);
    if (Desk.Seat)
        wl_seat_destroy(Desk.Seat);
    wl_registry_destroy(Desk.Registry);
    wl_display_flush(Desk.Display);
    wl_display_disconnect(Desk.Display);
    Desk = {};
}

static int Prepare(short* events)
{
    while (wl_display_prepare_read(Desk.Display) != 0)
        if (wl_display_dispatch_pending(Desk.Display) < 0)
            return -1;
    *events = POLLIN;
    if (wl_display_flush(Desk.Display) < 0 && errno == EAGAIN)
        *events |= POLLOUT;
    return wl_display_get_fd(Desk.Display);
}

static bool Finish(short revents)
{
    if (revents & (POLLIN | POLLERR | POLLHUP)) {
        if (wl_display_read_events(Desk.Display) < 0)
            return false;
    } else {
        wl_display_cancel_read(Desk.Display);
    }
    return wl_display_dispatch_pending(Desk.Display) >= 0;
}

static const std::vector<uint32_t>& Outputs()
{
    return Desk.Outputs;
}

static bool TakeNews(bool* idle)
{
    if (Desk.IdleNews.empty())
        return false;
    *idle = Desk.IdleNews.front();
    Desk.IdleNews.pop_front();
    return true;
}

// Each scene is this program again, told its output.
static std::vector<std::string> SceneCommand(uint32_t, const SaverArgs&, char** argv)
{
    std::vector<std::string> command = {"/proc/self/exe"};
    for (char** a = argv; *a; ++a)
        command.push_back(*a);
    return command;
}

const Desktop WaylandDesktop = {"Wayland compositor", Open, Close, Prepare, Finish, Outputs, TakeNews, SceneCommand};
