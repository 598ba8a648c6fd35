// How much more VEXLO costs to start than a bare Qt main window: time from the start of the
// process until its window is mapped on the X server, and the peak resident memory once it is
// up (VmHWM). A third program, the bare window with one menu and one label of text, shows
// what the font system alone costs, which any window with text pays. The programs start in
// turn, ROUNDS times each, with a fresh configuration folder; the medians and their ratios to
// the bare window are printed.
//
//   startup_bench BUILD_DIR [ROUNDS]      (DISPLAY must name an X server; default 9 rounds)
#include <X11/Xlib.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

struct Sample {
    double ms = 0;
    long peakKiB = 0;
};

long peakResident(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// Starts PROGRAM and waits for a top-level window to be mapped.
bool measure(Display* dpy, const std::string& program, const std::string& configHome, Sample& out)
{
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, True);  // drop events from earlier rounds

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("XDG_CONFIG_HOME=", 0) != 0 && std::string(*e).rfind("QT_QPA_PLATFORM=", 0) != 0)
            env.emplace_back(*e);
    env.push_back("XDG_CONFIG_HOME=" + configHome);
    env.push_back("QT_QPA_PLATFORM=xcb");
    std::vector<char*> envp;
    for (auto& s : env)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string arg0 = program;
    char* argv[] = {arg0.data(), nullptr};

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
        return false;
    bool mapped = false;
    const auto deadline = start + std::chrono::seconds(30);
    while (!mapped && std::chrono::steady_clock::now() < deadline) {
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == MapNotify)
                mapped = true;
        }
        if (!mapped)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    out.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::this_thread::sleep_for(std::chrono::milliseconds(700));  // let it settle after showing
    out.peakKiB = peakResident(pid);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return mapped;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_bench BUILD_DIR [ROUNDS]\n");
        return 2;
    }
    const std::string build = argv[1];
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "startup_bench: no X server (set DISPLAY)\n");
        return 2;
    }
    char tmpl[] = "/tmp/vexlo-startup-XXXXXX";
    const std::string config = mkdtemp(tmpl);
    const std::string programs[] = {build + "/app/vexlo", build + "/bench/startup/bare_window",
                                    build + "/bench/startup/text_window"};
    constexpr int kPrograms = 3;
    std::vector<double> ms[kPrograms], kib[kPrograms];
    for (int r = 0; r < rounds; ++r)
        for (int p = 0; p < kPrograms; ++p) {
            Sample s;
            if (!measure(dpy, programs[p], config, s)) {
                std::fprintf(stderr, "startup_bench: %s showed no window\n", programs[p].c_str());
                return 1;
            }
            ms[p].push_back(s.ms);
            kib[p].push_back(double(s.peakKiB));
        }
    double t[kPrograms], m[kPrograms];
    for (int p = 0; p < kPrograms; ++p)
        t[p] = median(ms[p]), m[p] = median(kib[p]);
    std::printf("until shown:  VEXLO %.1f ms, bare window %.1f ms, ratio %.2f (target <= 1.5); "
                "with a line of text %.1f ms, ratio %.2f\n",
                t[0], t[1], t[0] / t[1], t[2], t[2] / t[1]);
    std::printf("peak memory:  VEXLO %.0f KiB, bare window %.0f KiB, ratio %.2f (target <= 1.3); "
                "with a line of text %.0f KiB, ratio %.2f\n",
                m[0], m[1], m[0] / m[1], m[2], m[2] / m[1]);
    std::string rm = "rm -rf " + config;
    return std::system(rm.c_str()) == 0 ? 0 : 0;
}
