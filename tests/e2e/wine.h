// The fixture of the tests under Wine: the Windows build's prefix, made once, Wine's tools run to their end,
// and the Wine server ended after each test, since it keeps the screen size it first saw.
#pragma once
#include <filesystem>

#include "tests/e2e/harness.h"

struct Wine : E2e {
    Strings Env() const
    {
        return {"WINEPREFIX=" WINE_PREFIX, "WINEARCH=win64", "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml="};
    }
    // Runs a Wine tool to its end on the test's display (*output: what it said); false if it hung or its
    // exit code was not code.
    bool Tool(const Strings& argv, Ms bound = Ms(60000), int code = 0, std::string* output = nullptr)
    {
        Strings env = Env();
        env.push_back("DISPLAY=" + Server.Name);
        Program tool;
        std::string error;
        const bool ran = SpawnProgram(&tool, argv, ProgramEnvironment(env), TempDir, &error) && WaitExit(&tool, bound);
        if (output)
            *output = ReadStderr(tool);
        return ran && WIFEXITED(tool.ExitStatus) && WEXITSTATUS(tool.ExitStatus) == code;
    }
    bool Registry(const std::string& key, const char* name, const char* type, const std::string& data)
    {
        return Tool({"/usr/bin/wine", "reg", "add", key, "/v", name, "/t", type, "/d", data, "/f"});
    }
    // Xvfb of width x height, or (twoHeads) Xorg's two monitors side by side; or fails the test.
    void Prepare(int width, int height, bool twoHeads = false)
    {
        std::string error;
        if (twoHeads)
            ASSERT_TRUE(StartTwoHeads(&Server, TempDir, &error)) << error;
        else
            ASSERT_NO_FATAL_FAILURE(StartServer(width, height));
        // The Windows build's tests made the prefix; its script makes it when these tests run alone.
        ASSERT_TRUE(std::filesystem::exists(WINE_PREFIX "/.made") ||
                    Tool({"/bin/bash", SCRIPTS_DIR "/wine-prefix.sh", "start", WINE_PREFIX}, Ms(120000)))
            << "no Wine prefix";
    }
    void TearDown() override
    {
        KillProgram(&Prog);
        if (Server.Conn)
            Tool({"/usr/bin/wineserver", "-k"}, Ms(10000)), Tool({"/usr/bin/wineserver", "-w"}, Ms(10000));
        E2e::TearDown();
    }
    // Gives the shown top-level window of that title the keyboard, which no window manager does here;
    // 0 if none comes within 20 s or the program ends.
    Window FocusWindowNamed(const std::string& title)
    {
        for (const auto end = Clock::now() + Ms(20000); Clock::now() < end && !WaitExit(&Prog, Ms(0));)
            for (Window w : TopWindows(Server.Conn)) {
                char* name = nullptr;
                const bool named = XFetchName(Server.Conn, w, &name) && title == name;
                XFree(name);
                if (named)
                    return XSetInputFocus(Server.Conn, w, RevertToPointerRoot, CurrentTime), w;
            }
        return 0;
    }
};
