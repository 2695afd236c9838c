#include "watcher.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <string>

#include "claim.h"
#include "record.h"

// The display's name, the program's claim, then the desktop's line; the
// closing newline tells a whole message from one cut short.
static std::string messageOf(const SavedDesktop& found, const std::string& claim)
{
    return found.display + '\n' + claim + '\n' + desktopText(found);
}

// False for anything but a whole message.
static bool readMessage(const std::string& message, SavedDesktop& found, std::string& claim)
{
    std::istringstream text(message);
    return std::getline(text, found.display) && std::getline(text, claim) && readDesktopText(text, found);
}

// A refusal (a monitor unplugged meanwhile) is only one thing less put
// back, and the watcher has no one to tell.
static int ignoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// Once the server is gone there is nothing left to put back.
static int leaveWithTheServer(Display*)
{
    _exit(0);
}

// The watcher's whole life: wait, unseen and idle, until the program's end
// of the line closes, then put back what differs.
[[noreturn]] static void watch(int line)
{
    // A session of its own: Ctrl-C, a closing terminal and a kill of the
    // program's process group pass it by. Named apart, so that killing the
    // program by name leaves the watcher.
    setsid();
    prctl(PR_SET_NAME, "kw-watcher");
    // It prints nothing and holds no terminal, pipe or folder busy.
    if (line < 3)
        line = fcntl(line, F_DUPFD, 3);
    const int devNull = open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd)
        dup2(devNull, fd);
    close_range(3, unsigned(line) - 1, 0);
    close_range(unsigned(line) + 1, ~0u, 0);
    [[maybe_unused]] const int inRoot = chdir("/");
    std::string message;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(line, buffer, sizeof buffer);
        if (got > 0)
            message.append(buffer, std::size_t(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    SavedDesktop found;
    std::string claim;
    if (readMessage(message, found, claim)) {
        XSetErrorHandler(ignoreXError);
        XSetIOErrorHandler(leaveWithTheServer);
        // A copy started meanwhile has taken the desktop over, and with it
        // the record; otherwise the screen is the watcher's until it leaves.
        if (claimToRestore(found.display, claim))
            putDesktopBack(found);
    }
    _exit(0);
}

Watcher startWatcher()
{
    int line[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, line) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(line[0]);
        watch(line[1]);
    }
    close(line[1]);
    if (pid < 0) {
        close(line[0]);
        return {};
    }
    return {line[0], pid};
}

void watchDesktop(Watcher watcher, const SavedDesktop& found, const std::string& claim)
{
    if (watcher.line < 0)
        return;
    if (!found.modeSaved || !found.layoutSaved) {
        // Reaped here, so that it never lingers as the program's zombie.
        close(watcher.line);
        while (waitpid(watcher.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return;
    }
    const std::string message = messageOf(found, claim);
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t done = send(watcher.line, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            break;
        sent += std::size_t(done);
    }
    // Left open: it closes when the program ends, whichever way.
}
