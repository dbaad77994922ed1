// glyphfall-saver's first process: a process of its own for each output's
// scene, started, watched and ended here (scenes.cpp).
#pragma once
#include "glyphfall-saver/options.h"

// A scene's process ends with this code when its output went away: that
// ends its scene only.
constexpr int ExitOutputGone = 3;

// Runs the saver as args say until its end; the program's exit code. argv
// (this program's own) starts each scene's process.
int RunSaver(const SaverArgs& args, char** argv);
