// Preloaded into glyphfall: refuses the first of the program's own events it
// queues, the first frame's wake-up, as SDL does when its queue is full.
#include <dlfcn.h>

#include <atomic>

#include <SDL.h>

extern "C" int SDL_PushEvent(SDL_Event* event)
{
    static std::atomic<bool> refused{false};
    if (event->type >= SDL_USEREVENT && !refused.exchange(true))
        return -1;
    static const auto push = reinterpret_cast<int (*)(SDL_Event*)>(dlsym(RTLD_NEXT, "SDL_PushEvent"));
    return push(event);
}
