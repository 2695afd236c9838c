#include "claim.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace {

// Open for the program's life: the claim ends when this connection closes.
Display* claimDisplay = nullptr;
Window claimWindow = None;

// Properties of an owner window: what names this claim alone (a window's
// number comes back with the next client in its place), the program's
// full-screen window, and the mark of a watcher putting the desktop back.
const char* const tokenName = "_KANTENWERK_CLAIM";
const char* const shownName = "_KANTENWERK_WINDOW";
const char* const restoringName = "_KANTENWERK_RESTORING";

// Who holds the screen, and what its owner window says.
struct Holder {
    Window owner = None;
    std::string token;
    Window shown = None;
    bool restoring = false;
};

int ignoreXError(Display*, XErrorEvent*)
{
    return 0;
}

}  // namespace

static Atom selectionOf(Display* display)
{
    const std::string name = "_KANTENWERK_S" + std::to_string(DefaultScreen(display));
    return XInternAtom(display, name.c_str(), False);
}

// Unmapped and of no size: it only owns the selection.
static Window ownerWindow(Display* display, const std::string& token)
{
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window window = XCreateWindow(display, DefaultRootWindow(display), -1, -1, 1, 1, 0, 0, InputOnly,
                                        CopyFromParent, CWOverrideRedirect, &attributes);
    XChangeProperty(display, window, XInternAtom(display, tokenName, False), XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(token.data()), int(token.size()));
    return window;
}

static void setWindowProperty(Display* display, Window window, const char* name, Window value)
{
    unsigned long data = value;
    XChangeProperty(display, window, XInternAtom(display, name, False), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&data), 1);
}

static std::string tokenOf(Display* display, Window window)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string token;
    if (XGetWindowProperty(display, window, XInternAtom(display, tokenName, False), 0, 64, False, XA_STRING, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
        if (type == XA_STRING && format == 8)
            token.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
    }
    return token;
}

static Window windowProperty(Display* display, Window window, const char* name)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    Window value = None;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1, False, XA_WINDOW, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
        if (type == XA_WINDOW && format == 32 && count == 1)
            value = *reinterpret_cast<unsigned long*>(data);
        XFree(data);
    }
    return value;
}

// Takes the selection for window where it is free or held by the claim
// that takeFrom names, and reads who holds it then, all with the server
// grabbed, so that two copies starting at once cannot both find it free.
// The grab does not keep the holder's windows: the server still shuts down
// a client that has hung up, between any two requests, and the reads of a
// window gone find nothing. So they count only while the same window still
// holds the selection after them.
static Holder takeSelection(Display* display, Atom selection, Window window, const std::string& takeFrom)
{
    XGrabServer(display);
    Holder holder;
    do {
        holder = {};
        holder.owner = XGetSelectionOwner(display, selection);
        if (holder.owner != None)
            holder.token = tokenOf(display, holder.owner);
        if (holder.owner == None || (!takeFrom.empty() && holder.token == takeFrom)) {
            XSetSelectionOwner(display, selection, window, CurrentTime);
            holder.owner = XGetSelectionOwner(display, selection);
        }
        if (holder.owner != window) {
            holder.shown = windowProperty(display, holder.owner, shownName);
            holder.restoring = windowProperty(display, holder.owner, restoringName) != None;
        }
    } while (holder.owner != window && XGetSelectionOwner(display, selection) != holder.owner);
    XUngrabServer(display);
    XFlush(display);
    return holder;
}

static std::string firstLine(const std::string& path)
{
    std::string line;
    std::getline(std::ifstream(path), line);
    return line;
}

// The fields of /proc/PID/stat after the command name, which may hold
// spaces: the state first, the start time 19th. Empty where unreadable.
static std::vector<std::string> statFields(long pid)
{
    const std::string line = firstLine("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t end = line.rfind(')');
    std::vector<std::string> fields;
    if (end == std::string::npos)
        return fields;
    std::istringstream rest(line.substr(end + 1));
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

// What tells this machine's processes from all others sharing the display.
static std::string whereRunning()
{
    char host[HOST_NAME_MAX + 1] = {};
    gethostname(host, sizeof host - 1);
    char pidNamespace[64] = {};
    [[maybe_unused]] const ssize_t length = readlink("/proc/self/ns/pid", pidNamespace, sizeof pidNamespace - 1);
    return " boot=" + firstLine("/proc/sys/kernel/random/boot_id") + " ns=" + pidNamespace + " host=" + host;
}

std::string processToken(long pid, const std::string& start)
{
    return "pid=" + std::to_string(pid) + " start=" + start + whereRunning();
}

static std::string ownToken()
{
    const std::vector<std::string> fields = statFields(getpid());
    return processToken(getpid(), fields.size() > 19 ? fields[19] : std::string());
}

// True where the copy that a claim's token names has ended, as far as this
// machine can tell. A process of another host, boot or PID namespace counts
// as running: it cannot be looked at here. A number taken by another
// process since is told apart by its start time.
static bool hasEnded(const std::string& token)
{
    std::map<std::string, std::string> fields;
    std::istringstream words(token);
    for (std::string word; words >> word;) {
        const std::size_t equals = word.find('=');
        if (equals != std::string::npos)
            fields[word.substr(0, equals)] = word.substr(equals + 1);
    }
    const long pid = std::strtol(fields["pid"].c_str(), nullptr, 10);
    if (pid <= 0 || processToken(pid, fields["start"]) != token)
        return false;
    const std::vector<std::string> stat = statFields(pid);
    // Hidden from other users where /proc is mounted with hidepid.
    if (stat.empty())
        return kill(pid_t(pid), 0) != 0 && errno == ESRCH;
    return stat[0] == "Z" || stat[0] == "X" || (stat.size() > 19 && stat[19] != fields["start"]);
}

// The display as the user would name it, with the screen: ":0.0".
static std::string whereOf(Display* display)
{
    std::string where = DisplayString(display);
    const std::size_t colon = where.rfind(':');
    const std::size_t dot = where.find('.', colon == std::string::npos ? 0 : colon);
    if (dot != std::string::npos)
        where.resize(dot);
    return where + "." + std::to_string(DefaultScreen(display));
}

ScreenClaim claimScreen(const char* name)
{
    ScreenClaim claim;
    Display* display = XOpenDisplay(name);
    if (display == nullptr)
        return claim;
    // The window to raise may go at any moment with the copy that shows it.
    const XErrorHandler previous = XSetErrorHandler(ignoreXError);
    claim.where = whereOf(display);
    const Atom selection = selectionOf(display);
    claim.token = ownToken();
    const Window window = ownerWindow(display, claim.token);
    // A watcher puts the desktop back within a second; one that takes five
    // is stuck and keeps the screen no longer. A copy that has just ended
    // holds it until the server has seen its connection close.
    const auto started = std::chrono::steady_clock::now();
    Holder holder = takeSelection(display, selection, window, {});
    while (holder.owner != window && (holder.restoring || hasEnded(holder.token))) {
        const bool stuck = std::chrono::steady_clock::now() - started > std::chrono::seconds(5);
        if (stuck && !holder.restoring)
            break;
        if (!stuck)
            usleep(10000);
        holder = takeSelection(display, selection, window, stuck ? holder.token : std::string());
    }
    if (holder.owner == window) {
        claimDisplay = display;
        claimWindow = window;
        XSync(display, False);
    } else {
        claim.token.clear();
        claim.anotherRuns = true;
        if (holder.shown != None)
            XRaiseWindow(display, holder.shown);
        XCloseDisplay(display);
    }
    XSetErrorHandler(previous);
    return claim;
}

void showOnClaim(unsigned long window)
{
    if (claimDisplay == nullptr)
        return;
    setWindowProperty(claimDisplay, claimWindow, shownName, window);
    XFlush(claimDisplay);
}

bool claimToRestore(const std::string& name, const std::string& program)
{
    Display* display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (display == nullptr)
        return false;
    const Window window = ownerWindow(display, "restoring " + ownToken());
    setWindowProperty(display, window, restoringName, window);
    if (takeSelection(display, selectionOf(display), window, program).owner == window)
        return true;
    XCloseDisplay(display);
    return false;
}
