// Times programs from launch to their first window on screen: the X server's MapNotify
// for a top-level window with the given title. Runs the programs in turns (A, B, A, B...)
// on the X display in $DISPLAY, killing each once its window is up, and prints each one's
// median, best and worst, and the ratio of the medians to the first.
//   launchtime RUNS TITLE PROGRAM [PROGRAM...]
#include <xcb/xcb.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

std::string title(xcb_connection_t *c, xcb_window_t window)
{
    static const char name[] = "_NET_WM_NAME";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), nullptr);
    std::string result;
    for (xcb_atom_t property : {atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE), xcb_atom_t(XCB_ATOM_WM_NAME)}) {
        if (property == XCB_ATOM_NONE)
            continue;
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            c, xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
        if (reply && xcb_get_property_value_length(reply) > 0)
            result.assign(static_cast<const char *>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
        free(reply);
        if (!result.empty())
            break;
    }
    free(atom);
    return result;
}

// One launch: seconds from fork to the window's MapNotify, or a negative number.
double launch(xcb_connection_t *c, const char *program, const std::string &wanted)
{
    const double start = now();
    const pid_t child = fork();
    if (child == 0) {
        // The programs' own chatter would drown the figures.
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execl(program, program, static_cast<char *>(nullptr));
        _exit(127);
    }
    double seen = -1;
    const int fd = xcb_get_file_descriptor(c);
    while (seen < 0 && now() - start < 30) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
            if ((event->response_type & ~0x80) == XCB_MAP_NOTIFY) {
                auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                const double at = now();
                if (title(c, map->window) == wanted)
                    seen = at - start;
            }
            free(event);
        }
        if (seen >= 0 || waitpid(child, nullptr, WNOHANG) == child)
            break;
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(fd, &fds);
        timeval tv{0, 20000};
        select(fd + 1, &fds, nullptr, nullptr, &tv);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    // Let the server forget the dead client's windows before the next launch.
    xcb_flush(c);
    usleep(200000);
    while (xcb_generic_event_t *event = xcb_poll_for_event(c))
        free(event);
    return seen;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "uso: %s RIPETIZIONI TITOLO PROGRAMMA [PROGRAMMA...]\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const std::string wanted = argv[2];
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "launchtime: no X display\n");
        return 1;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    const int programs = argc - 3;
    std::vector<std::vector<double>> times(programs);
    // One unmeasured launch each fills the page cache.
    for (int p = 0; p < programs; ++p)
        launch(c, argv[3 + p], wanted);
    for (int run = 0; run < runs; ++run) {
        for (int p = 0; p < programs; ++p) {
            const double t = launch(c, argv[3 + p], wanted);
            if (t < 0) {
                std::fprintf(stderr, "launchtime: %s showed no window \"%s\"\n", argv[3 + p], wanted.c_str());
                return 1;
            }
            times[p].push_back(t);
        }
    }
    double first = 0;
    for (int p = 0; p < programs; ++p) {
        std::vector<double> &t = times[p];
        std::sort(t.begin(), t.end());
        const double median = t.size() % 2 ? t[t.size() / 2] : (t[t.size() / 2 - 1] + t[t.size() / 2]) / 2;
        if (p == 0)
            first = median;
        std::printf("%s\t%.1f\t%.1f\t%.1f\t%.2f\n", argv[3 + p], median * 1000, t.front() * 1000, t.back() * 1000,
                    median / first);
    }
    xcb_disconnect(c);
    return 0;
}
