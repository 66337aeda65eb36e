#include "test_display.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace morvex_test {

namespace {

pid_t server = -1, owner = -1;

// Ends the server before this program does, so that no server is still
// shutting down (and removing its socket) when the next test program starts
// its own on the number just given up.
void stop_xvfb()
{
    // A forked child that exits must leave its parent's server alone.
    if (server > 0 && getpid() == owner) kill(server, SIGTERM), waitpid(server, nullptr, 0), server = -1;
}

// Starts a private Xvfb that picks a free display number itself and writes
// it to a pipe once it accepts connections. Returns ":N" and sets `server`,
// or returns "" with *error. -noreset: a server that resets when its last
// client leaves re-creates its listening socket, and with other test
// programs starting and ending servers beside it, it sometimes came back
// without one ("failed to open display" for the next client).
std::string start_xvfb(std::string *error)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return *error = std::string("pipe: ") + strerror(errno), "";
    const pid_t parent = getpid(), pid = fork();
    if (pid == 0) {
        // The server must not outlive the test, even one that crashes.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        const int wfd = dup(fds[1]), devnull = open("/dev/null", O_RDWR);  // dup clears close-on-exec
        if (getppid() != parent || wfd < 0 || devnull < 0) _exit(1);
        for (int fd = 0; fd < 3; fd++) dup2(devnull, fd);
        const std::string fdtext = std::to_string(wfd);
        execlp("Xvfb", "Xvfb", "-displayfd", fdtext.c_str(), "-screen", "0", "2560x1600x24", "-nolisten",
               "tcp", "-noreset", (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    for (char c;;) {
        pollfd p = {fds[0], POLLIN, 0};
        const int r = poll(&p, 1, 20000);
        if (r < 0 && errno == EINTR) continue;
        const ssize_t n = r > 0 ? read(fds[0], &c, 1) : 0;
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (pid < 0 || number.empty()) {
        *error = pid < 0 ? std::string("fork: ") + strerror(errno)
                         : "Xvfb reported no display within 20 s (is it installed?)";
        if (pid > 0) kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
        return "";
    }
    server = pid, owner = parent;
    return ":" + number;
}

}  // namespace

bool ensureDisplay(std::string *error)
{
    static std::string failure;
    static bool ready = [] {
        const char *current = getenv("DISPLAY");
        if (current && *current) return true;
        const std::string display = start_xvfb(&failure);
        atexit(stop_xvfb);
        return !display.empty() && setenv("DISPLAY", display.c_str(), 1) == 0;
    }();
    if (!ready && error) *error = failure;
    return ready;
}

void DisplayEnvironment::SetUp()
{
    std::string error;
    if (!ensureDisplay(&error)) {
        fprintf(stderr, "no X display for this test: %s\n", error.c_str());
        abort();
    }
}

Pixels readPixels(int x0, int y0, int w, int h, unsigned buffer)
{
    Pixels p;
    p.x0 = x0, p.y0 = y0, p.width = w, p.height = h;
    p.rgba.assign((size_t)w * h * 4, 0);
    glFinish();
    glReadBuffer(buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x0, y0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
    return p;
}

void settleWindow()
{
    // freeglut refuses to handle events for a window without a display
    // callback; mvgMainLoop installs its own later.
    glutDisplayFunc([] {});
    for (int i = 0; i < 20; i++) {
        glutMainLoopEvent();
        usleep(2000);
    }
}

}  // namespace morvex_test
