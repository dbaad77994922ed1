// glyphfall: the letters over the whole primary screen, unpaced, until a key,
// a click or a move of the mouse. The command line is ignored.
#include "shell/shell.h"

int main()
{
    return StartUp(Program{});
}
