// What glyphfall-saver's first process watches on the desktop: the outputs
// to cover and, in the idle mode, the user's idleness. One implementation
// per window system (desktop_wayland.cpp); the process logic in scenes.cpp
// sees only this.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Connects and checks that the desktop can show the saver and, when
// idleSeconds is not 0, tell when that many seconds pass without input.
// False with one sentence in error (nothing stays open).
bool DesktopOpen(uint32_t idleSeconds, std::string* error);

void DesktopClose();

// Before a wait: handles what was read already and sends what is queued.
// Returns the file to poll for the desktop's news (and in *events, what to
// poll it for), to be followed by one DesktopFinish; or -1 once the
// connection is lost.
int DesktopPrepare(short* events);

// After the wait, with the poll's revents for that file: reads and handles
// the news. False once the connection is lost.
bool DesktopFinish(short revents);

// The outputs there are now, by ids never given to another output while
// the desktop runs.
const std::vector<uint32_t>& DesktopOutputs();

// The idle mode's news, oldest first: true when the user has become idle,
// false when input came after that. False when there is none.
bool DesktopTakeIdleNews(bool* idle);
