#include "tests/desktop/x_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

#ifndef TOVELIN_TINT2RC
#error "TOVELIN_TINT2RC must name the tray host's configuration"
#endif

namespace tovelin::test {

namespace {

using namespace std::chrono_literals;

// Windows come and go under the tests' feet; a vanished window is not a failure.
int ignoreXErrors(::Display*, XErrorEvent*)
{
    return 0;
}

std::string readDisplayNumber(int fd, std::chrono::milliseconds timeout)
{
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return {};
        char buffer[32];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return {};
        text.append(buffer, static_cast<size_t>(n));
    }
    return text.substr(0, text.find('\n'));
}

} // namespace

struct XSession::Connection
{
    ::Display* dpy = nullptr;
    ~Connection()
    {
        if (dpy != nullptr)
            XCloseDisplay(dpy);
    }
    Atom atom(const char* name) const { return XInternAtom(dpy, name, False); }

    // Reads a property whole and hands its format, item count and data to `use`.
    template <typename Use> void readProperty(XWindow w, const char* name, Atom type, Use use) const
    {
        Atom actualType = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, w, atom(name), 0, 4096, False, type, &actualType, &format,
                               &count, &after, &data) == Success &&
            data != nullptr) {
            use(format, count, data);
            XFree(data);
        }
    }

    std::vector<unsigned long> property(XWindow w, const char* name, Atom type) const
    {
        std::vector<unsigned long> values;
        readProperty(w, name, type, [&](int format, unsigned long count, unsigned char* data) {
            if (format == 32) {
                const auto* longs = reinterpret_cast<const unsigned long*>(data);
                values.assign(longs, longs + count);
            }
        });
        return values;
    }

    std::string text(XWindow w, const char* name, Atom type) const
    {
        std::string value;
        readProperty(w, name, type, [&](int format, unsigned long count, unsigned char* data) {
            if (format == 8)
                value.assign(reinterpret_cast<const char*>(data), count);
        });
        return value;
    }
};

XSession::XSession(Options options)
    : m_quiet(open("/dev/null", O_WRONLY | O_CLOEXEC)), m_x(std::make_unique<Connection>())
{
    XSetErrorHandler(ignoreXErrors);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        m_error = "pipe failed";
        return;
    }
    const std::string screen =
        std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
    m_xvfb = ChildProcess(
        {"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"},
        environmentWith({}), {{fds[1], 3}, {m_quiet, 1}, {m_quiet, 2}});
    close(fds[1]);
    const std::string number = readDisplayNumber(fds[0], 15s);
    close(fds[0]);
    if (!m_xvfb.started() || number.empty()) {
        m_error = "Xvfb did not start";
        return;
    }
    m_display = ":" + number;
    m_x->dpy = XOpenDisplay(m_display.c_str());
    if (m_x->dpy == nullptr) {
        m_error = "cannot connect to " + m_display;
        return;
    }

    if (options.windowManager) {
        m_wm =
            ChildProcess({"openbox", "--sm-disable"}, environment(), {{m_quiet, 1}, {m_quiet, 2}});
        const XWindow root = DefaultRootWindow(m_x->dpy);
        if (!waitUntil([&] {
                return !m_x->property(root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
            })) {
            m_error = "openbox did not start";
            return;
        }
    }
    m_tint2rc = TOVELIN_TINT2RC;
    if (options.trayHost && !startTrayHost())
        m_error = "tint2 did not start";
}

XSession::~XSession()
{
    m_tray.terminate();
    m_wm.terminate();
    m_x.reset();
    m_xvfb.terminate();
    if (m_quiet >= 0)
        close(m_quiet);
}

std::vector<std::string> XSession::environment(const std::vector<std::string>& extra) const
{
    std::vector<std::string> changes{"DISPLAY=" + m_display, "DBUS_SESSION_BUS_ADDRESS",
                                     "WAYLAND_DISPLAY", "QT_QPA_PLATFORM=xcb"};
    changes.insert(changes.end(), extra.begin(), extra.end());
    return environmentWith(changes);
}

ChildProcess XSession::start(const std::vector<std::string>& argv,
                             const std::vector<std::string>& extraEnv) const
{
    return ChildProcess(argv, environment(extraEnv));
}

CommandResult XSession::run(const std::vector<std::string>& argv,
                            std::chrono::milliseconds timeout) const
{
    return runCommand(argv, environment(), timeout);
}

bool XSession::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(20ms);
    }
}

bool XSession::startTrayHost()
{
    m_tray = ChildProcess({"tint2", "-c", m_tint2rc}, environment({"G_SLICE=always-malloc"}),
                          {{m_quiet, 1}, {m_quiet, 2}});
    return waitUntil([&] { return trayHostRunning(); });
}

void XSession::stopTrayHost()
{
    m_tray.terminate();
    waitUntil([&] { return !trayHostRunning(); }, 5s);
}

bool XSession::restartTrayHost()
{
    stopTrayHost();
    return startTrayHost();
}

bool XSession::trayHostRunning() const
{
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(m_x->dpy));
    return XGetSelectionOwner(m_x->dpy, m_x->atom(name.c_str())) != None;
}

std::vector<XWindow> XSession::clientList() const
{
    return m_x->property(DefaultRootWindow(m_x->dpy), "_NET_CLIENT_LIST", XA_WINDOW);
}

std::vector<XWindow> XSession::clientsOf(long pid) const
{
    std::vector<XWindow> result;
    for (XWindow w : clientList())
        if (pidOf(w) == pid)
            result.push_back(w);
    return result;
}

std::vector<std::string> XSession::netWmState(XWindow w) const
{
    std::vector<std::string> names;
    for (unsigned long a : m_x->property(w, "_NET_WM_STATE", XA_ATOM)) {
        char* name = XGetAtomName(m_x->dpy, a);
        if (name != nullptr) {
            names.emplace_back(name);
            XFree(name);
        }
    }
    return names;
}

bool XSession::hasState(XWindow w, const std::string& atom) const
{
    for (const auto& s : netWmState(w))
        if (s == atom)
            return true;
    return false;
}

std::string XSession::title(XWindow w) const
{
    const std::string net = m_x->text(w, "_NET_WM_NAME", m_x->atom("UTF8_STRING"));
    return net.empty() ? m_x->text(w, "WM_NAME", AnyPropertyType) : net;
}

long XSession::pidOf(XWindow w) const
{
    const auto values = m_x->property(w, "_NET_WM_PID", XA_CARDINAL);
    return values.empty() ? -1 : static_cast<long>(values.front());
}

XWindow XSession::transientFor(XWindow w) const
{
    Window parent = None;
    return XGetTransientForHint(m_x->dpy, w, &parent) ? parent : None;
}

bool XSession::isViewable(XWindow w) const
{
    XWindowAttributes attributes;
    return XGetWindowAttributes(m_x->dpy, w, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

XWindow XSession::activeWindow() const
{
    const auto values = m_x->property(DefaultRootWindow(m_x->dpy), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return values.empty() ? None : values.front();
}

std::vector<XWindow> XSession::taskbarEntriesOf(long pid) const
{
    std::vector<XWindow> result;
    for (XWindow w : clientsOf(pid))
        if (!hasState(w, "_NET_WM_STATE_SKIP_TASKBAR"))
            result.push_back(w);
    return result;
}

QRect XSession::geometry(XWindow w) const
{
    XWindowAttributes attributes;
    if (XGetWindowAttributes(m_x->dpy, w, &attributes) == 0)
        return {};
    int x = 0;
    int y = 0;
    Window child = None;
    XTranslateCoordinates(m_x->dpy, w, DefaultRootWindow(m_x->dpy), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

std::vector<XWindow> XSession::popupsOf(long pid) const
{
    std::vector<XWindow> result;
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_x->dpy, DefaultRootWindow(m_x->dpy), &root, &parent, &children, &count))
        return result;
    // Framed windows have been reparented; what stays a child of the root is unframed.
    for (unsigned int i = 0; i < count; ++i)
        if (pidOf(children[i]) == pid && isViewable(children[i]))
            result.push_back(children[i]);
    if (children != nullptr)
        XFree(children);
    return result;
}

std::vector<XWindow> XSession::trayIconsOf(long pid) const
{
    std::vector<XWindow> result;
    const XWindow rootWindow = DefaultRootWindow(m_x->dpy);
    const std::vector<XWindow> clients = clientList();
    std::function<void(XWindow, int)> walk = [&](XWindow w, int depth) {
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_x->dpy, w, &root, &parent, &children, &count))
            return;
        for (unsigned int i = 0; i < count; ++i) {
            const XWindow c = children[i];
            // An embedded icon has been reparented into the host: it is no top level, and
            // unlike a framed window no client of the window manager either.
            if (depth > 0 && pidOf(c) == pid &&
                std::find(clients.begin(), clients.end(), c) == clients.end() &&
                !m_x->property(c, "_XEMBED_INFO", AnyPropertyType).empty() && isViewable(c))
                result.push_back(c);
            walk(c, depth + 1);
        }
        if (children != nullptr)
            XFree(children);
    };
    walk(rootWindow, 0);
    return result;
}

QImage XSession::grabScreen(const QRect& area) const
{
    XImage* image = XGetImage(m_x->dpy, DefaultRootWindow(m_x->dpy), area.x(), area.y(),
                              static_cast<unsigned>(area.width()),
                              static_cast<unsigned>(area.height()), AllPlanes, ZPixmap);
    if (image == nullptr)
        return {};
    QImage result(area.width(), area.height(), QImage::Format_RGB32);
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            result.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)) | 0xff000000u);
    XDestroyImage(image);
    return result;
}

QImage XSession::grabWindow(XWindow w) const
{
    return grabScreen(geometry(w));
}

bool XSession::mouseMove(int x, int y) const
{
    return run({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y)}).exitCode ==
           0;
}

bool XSession::mouseDown(int button) const
{
    return run({"xdotool", "mousedown", std::to_string(button)}).exitCode == 0;
}

bool XSession::mouseUp(int button) const
{
    return run({"xdotool", "mouseup", std::to_string(button)}).exitCode == 0;
}

bool XSession::click(int button, int repeat) const
{
    return run({"xdotool", "click", "--repeat", std::to_string(repeat), "--delay", "80",
                std::to_string(button)})
               .exitCode == 0;
}

bool XSession::key(const std::string& keys) const
{
    return run({"xdotool", "key", keys}).exitCode == 0;
}

QPoint XSession::pointer() const
{
    Window root = None;
    Window child = None;
    int rootX = 0;
    int rootY = 0;
    int winX = 0;
    int winY = 0;
    unsigned int mask = 0;
    XQueryPointer(m_x->dpy, DefaultRootWindow(m_x->dpy), &root, &child, &rootX, &rootY, &winX,
                  &winY, &mask);
    return {rootX, rootY};
}

std::string XSession::hexId(XWindow w)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", w);
    return text;
}

bool XSession::closeWindow(XWindow w) const
{
    return run({"wmctrl", "-i", "-c", hexId(w)}).exitCode == 0;
}

bool XSession::minimizeWindow(XWindow w) const
{
    return run({"xdotool", "windowminimize", hexId(w)}).exitCode == 0;
}

bool XSession::activateWindow(XWindow w) const
{
    return run({"wmctrl", "-i", "-a", hexId(w)}).exitCode == 0;
}

bool XSession::moveWindow(XWindow w, int x, int y) const
{
    return run({"xdotool", "windowmove", hexId(w), std::to_string(x), std::to_string(y)})
               .exitCode == 0;
}

} // namespace tovelin::test
