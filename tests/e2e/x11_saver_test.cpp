// glyphfall-saver on X11: started as the installed desktop entry says, on two
// monitors (Xorg's dummy driver), each its own scene; what ends it and what
// does not, by the screen savers' rule.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <X11/keysym.h>

#include "tests/e2e/harness.h"

namespace {

// The processes of a group that have not ended.
int Alive(pid_t group)
{
    int alive = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        std::ifstream in(isdigit(e.path().filename().c_str()[0]) ? e.path() / "stat" : "");
        const std::string stat{std::istreambuf_iterator<char>(in), {}};
        std::istringstream rest(stat.substr(std::min(stat.rfind(')') + 2, stat.size())));
        char state = 0;
        pid_t parent = 0, pgrp = 0;
        alive += rest >> state >> parent >> pgrp && pgrp == group && state != 'Z';
    }
    return alive;
}

TEST_F(E2e, X11DesktopEntryShowsEachMonitorItsSceneAndAKeyEndsAll)
{
    std::string error;
    ASSERT_TRUE(StartTwoHeads(&Server, TempDir, &error)) << error;
    Program install;
    const std::string prefix = TempDir + "/usr";
    ASSERT_TRUE(SpawnProgram(&install, {CMAKE_COMMAND, "--install", BUILD_DIR, "--prefix", prefix},
                             ProgramEnvironment({}), TempDir, &error) && WaitExit(&install, Ms(60000)) &&
                install.ExitStatus == 0) << error << ReadStderr(install);
    std::ifstream entry(prefix + "/share/applications/glyphfall.desktop");
    Strings exec;
    for (std::string line, word; std::getline(entry, line);)
        for (std::istringstream words(line.rfind("Exec=", 0) ? "" : line.substr(5)); words >> word;)
            exec.push_back(exec.empty() ? prefix + "/bin/" + word : word);
    ASSERT_FALSE(exec.empty()) << "no Exec line";
    XSetInputFocus(Server.Conn, None, RevertToNone, CurrentTime);   // keys go nowhere until the saver takes them
    // No Wayland compositor to use: the X11 mode.
    Launch(Strings(exec.begin() + 1, exec.end()), {"WAYLAND_DISPLAY=none", "XDG_RUNTIME_DIR=" + TempDir},
           exec[0].c_str());
    std::vector<uint32_t> raster[2];   // each monitor's, exact, with colour
    auto both = [&](const Screenshot& s) {
        return !EnlargementErrors(s, 200, &raster[0], 0, 0, 1024, 768) && HasColour({200, 150, raster[0]}) &&
               !EnlargementErrors(s, 200, &raster[1], 1024, 0, 1024, 768) && HasColour({200, 150, raster[1]});
    };
    Screenshot shot;
    ASSERT_TRUE(WaitForScreen(Server.Conn, Ms(20000), both, &shot)) << "no exact scene on each; " << ReadStderr(Prog);
    EXPECT_NE(raster[0], raster[1]);
    EXPECT_EQ(Alive(Prog.Pid), 3) << "not the saver and a scene per monitor";
    TapKey(Server.Conn, XK_a);
    for (auto end = Clock::now() + Ms(3000); Alive(Prog.Pid) && Clock::now() < end;)
        std::this_thread::sleep_for(Ms(10));
    EXPECT_EQ(Alive(Prog.Pid), 0) << "a process was left";
    ExpectExit(Clock::now(), Ms(1000), 0, "", "key");
}

struct X11SaverEnds : E2e, testing::WithParamInterface<EndCase> {};

TEST_P(X11SaverEnds, WhenItShould)
{
    StartServer(1024, 768);
    ASSERT_NO_FATAL_FAILURE(Launch({}, {}, GLYPHFALL_SAVER));
    ExpectEnding(GetParam());
}

INSTANTIATE_TEST_SUITE_P(E2e, X11SaverEnds, testing::ValuesIn(InputEndings(true)),
                         [](const auto& info) { return info.param.Name; });

}  // namespace
