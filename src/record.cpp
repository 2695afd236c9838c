#include "record.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/xf86vmode.h>

#include <algorithm>
#include <array>
#include <iostream>
#include <sstream>

// A text property of the root window: the desktop as found, then what the
// screen showed when the program last looked, a line each.
static const char* const recordName = "_KANTENWERK_DESKTOP";

std::string desktopText(const SavedDesktop& desktop)
{
    std::ostringstream text;
    for (const unsigned number : desktop.modeLine)
        text << number << ' ';
    const MonitorLayout& layout = desktop.layout;
    text << desktop.viewX << ' ' << desktop.viewY << ' ' << layout.width << ' ' << layout.height << ' '
         << layout.widthMm << ' ' << layout.heightMm << ' ' << layout.primary << ' ' << layout.crtcs.size();
    for (const CrtcLayout& crtc : layout.crtcs) {
        text << ' ' << crtc.crtc << ' ' << crtc.mode << ' ' << crtc.x << ' ' << crtc.y << ' ' << crtc.rotation << ' '
             << crtc.outputs.size();
        for (const unsigned long output : crtc.outputs)
            text << ' ' << output;
    }
    text << '\n';
    return text.str();
}

bool readDesktopText(std::istream& in, SavedDesktop& desktop)
{
    std::string line;
    // The closing newline tells a whole line from one cut short.
    if (!std::getline(in, line) || in.eof())
        return false;
    std::istringstream text(line);
    SavedDesktop read;
    read.display = desktop.display;
    for (unsigned& number : read.modeLine)
        text >> number;
    MonitorLayout& layout = read.layout;
    std::size_t crtcs = 0;
    text >> read.viewX >> read.viewY >> layout.width >> layout.height >> layout.widthMm >> layout.heightMm >>
        layout.primary >> crtcs;
    for (std::size_t k = 0; k < crtcs && text; ++k) {
        CrtcLayout crtc;
        std::size_t outputs = 0;
        text >> crtc.crtc >> crtc.mode >> crtc.x >> crtc.y >> crtc.rotation >> outputs;
        if (outputs > 64)
            return false;
        crtc.outputs.resize(outputs);
        for (unsigned long& output : crtc.outputs)
            text >> output;
        layout.crtcs.push_back(crtc);
    }
    if (!text)
        return false;
    read.modeSaved = read.layoutSaved = true;
    desktop = read;
    return true;
}

// Whether the display still offers every mode line, monitor and output
// that the desktop names.
static bool stillOffered(Display* display, const SavedDesktop& desktop)
{
    int count = 0;
    XF86VidModeModeInfo** modes = nullptr;
    bool offered = false;
    if (XF86VidModeGetAllModeLines(display, DefaultScreen(display), &count, &modes)) {
        for (int k = 0; k < count; ++k) {
            const XF86VidModeModeInfo& m = *modes[k];
            offered = offered || desktop.modeLine == std::array<unsigned, 11>{
                                     m.dotclock, m.hdisplay, m.hsyncstart, m.hsyncend, m.htotal, m.hskew,
                                     m.vdisplay, m.vsyncstart, m.vsyncend, m.vtotal, m.flags};
        }
        XFree(modes);
    }
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, DefaultRootWindow(display));
    if (resources == nullptr)
        return offered && desktop.layout.crtcs.empty();
    const auto has = [](const unsigned long* ids, int n, unsigned long id) { return std::count(ids, ids + n, id) > 0; };
    const auto hasOutput = [&](unsigned long id) { return has(resources->outputs, resources->noutput, id); };
    for (const CrtcLayout& crtc : desktop.layout.crtcs) {
        bool mode = crtc.mode == None;
        for (int k = 0; k < resources->nmode; ++k)
            mode = mode || resources->modes[k].id == crtc.mode;
        offered = offered && mode && has(resources->crtcs, resources->ncrtc, crtc.crtc) &&
                  std::all_of(crtc.outputs.begin(), crtc.outputs.end(), hasOutput);
    }
    offered = offered && (desktop.layout.primary == None || hasOutput(desktop.layout.primary));
    XRRFreeScreenResources(resources);
    return offered;
}

void takeRecord(Display* display, SavedDesktop& found)
{
    const Window root = DefaultRootWindow(display);
    const Atom record = XInternAtom(display, recordName, False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, root, record, 0, 1 << 16, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) != Success)
        return;
    std::istringstream text(data != nullptr && type == XA_STRING && format == 8
                                ? std::string(reinterpret_cast<const char*>(data), count)
                                : std::string());
    if (data != nullptr)
        XFree(data);
    if (type == None)
        return;
    SavedDesktop recorded, left;
    recorded.display = found.display;
    const char* fault = nullptr;
    if (!readDesktopText(text, recorded) || !readDesktopText(text, left))
        fault = "ist unlesbar";
    else if (left.modeLine != found.modeLine || left.layout != found.layout)
        fault = "";  // the user has chosen since: the screen as it is counts
    else if (!stillOffered(display, recorded))
        fault = "nennt Modi oder Ausgaenge, die es nicht mehr gibt,";
    if (fault == nullptr) {
        found = recorded;
        return;
    }
    if (*fault != '\0')
        std::cerr << "Kantenwerk: Die gespeicherte Bildschirmeinstellung " << fault << " und wird verworfen."
                  << std::endl;
    XDeleteProperty(display, root, record);
}

void keepRecord(Display* display, const SavedDesktop& found, const SavedDesktop& shown)
{
    const std::string text = desktopText(found) + desktopText(shown);
    XChangeProperty(display, DefaultRootWindow(display), XInternAtom(display, recordName, False), XA_STRING, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    XFlush(display);
}

void forgetRecord(Display* display)
{
    XDeleteProperty(display, DefaultRootWindow(display), XInternAtom(display, recordName, False));
}
