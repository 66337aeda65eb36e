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

bool start_xvfb(std::string *display, std::string *error)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = std::string("pipe: ") + strerror(errno);
        return false;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        *error = std::string("fork: ") + strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        // The server must not outlive the test, even one that crashes.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        int wfd = dup(fds[1]);  // dup clears close-on-exec
        int devnull = open("/dev/null", O_RDWR);
        if (wfd < 0 || devnull < 0) _exit(1);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        char fdtext[16];
        snprintf(fdtext, sizeof fdtext, "%d", wfd);
        execlp("Xvfb", "Xvfb", "-displayfd", fdtext, "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);

    // The server writes its display number once it accepts connections.
    std::string number;
    for (;;) {
        pollfd p = {fds[0], POLLIN, 0};
        int r = poll(&p, 1, 20000);
        if (r <= 0) {
            if (r < 0 && errno == EINTR) continue;
            *error = "Xvfb did not report a display within 20 s";
            break;
        }
        char c;
        ssize_t n = read(fds[0], &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = "Xvfb ended before reporting a display (is it installed?)";
            break;
        }
        if (c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty() || !error->empty()) {
        if (error->empty()) *error = "Xvfb reported an empty display number";
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        return false;
    }
    *display = ":" + number;
    return true;
}

}  // namespace

bool ensureDisplay(std::string *error)
{
    static bool ready = false;
    static std::string failure;
    if (!ready && failure.empty()) {
        const char *current = getenv("DISPLAY");
        if (current && *current) {
            ready = true;
        } else {
            std::string display;
            if (start_xvfb(&display, &failure)) {
                setenv("DISPLAY", display.c_str(), 1);
                ready = true;
            }
        }
    }
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
    p.x0 = x0;
    p.y0 = y0;
    p.width = w;
    p.height = h;
    p.rgba.assign((size_t)w * h * 4, 0);
    glFinish();
    glReadBuffer(buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x0, y0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, p.rgba.data());
    return p;
}

static void leave_as_is()
{
}

void settleWindow()
{
    // freeglut refuses to handle events for a window without a display
    // callback; mvgMainLoop installs its own later.
    glutDisplayFunc(leave_as_is);
    for (int i = 0; i < 20; i++) {
        glutMainLoopEvent();
        usleep(2000);
    }
}

}  // namespace morvex_test
