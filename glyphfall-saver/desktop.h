// What glyphfall-saver's first process watches on the desktop: the outputs
// to cover, the user's idleness (idle mode) and, where it reads the input
// itself, input that ends the saver; and how each output's scene is started.
// One record per window system (desktop_wayland.cpp, desktop_x11.cpp);
// scenes.cpp chooses one and sees only this.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "glyphfall-saver/options.h"

struct Desktop {
    const char* Name;   // what the connection is to, as messages name it

    // Connects and checks that the desktop can show the saver and, when
    // idleSeconds is not 0, tell when that many seconds pass without input.
    // False with one sentence in error (nothing stays open).
    bool (*Open)(uint32_t idleSeconds, std::string* error);
    void (*Close)();

    // Before a wait: sends what is queued. Returns the file to poll for the
    // desktop's news (and in *events, what to poll it for), to be followed by
    // one Finish; or -1 once the connection is lost.
    int (*Prepare)(short* events);
    // After the wait, with the poll's revents for that file: reads and
    // handles the news. False once the connection is lost.
    bool (*Finish)(short revents);

    // The outputs there are now, by ids never given to another output while
    // the desktop runs.
    const std::vector<uint32_t>& (*Outputs)();

    // The news, oldest first: true when the user has become idle, false when
    // input came that ends (or, in the idle mode, hides) the saver. False
    // when there is none.
    bool (*TakeNews)(bool* idle);

    // The command that shows output's scene, given this program's own argv:
    // the file to run, then its arguments from argv[0] on.
    std::vector<std::string> (*SceneCommand)(uint32_t output, const SaverArgs& args, char** argv);
};

extern const Desktop WaylandDesktop;   // layer-shell surfaces, each scene this program again
extern const Desktop X11Desktop;       // a window per monitor, each scene the XScreenSaver hack in it
