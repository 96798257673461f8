#pragma once

// A throw-away X desktop for tests that check what a person sees.
//
//   tovelin::test::XSession x({.trayHost = true});   // Xvfb + openbox (+ tint2)
//   ASSERT_TRUE(x.ok()) << x.error();
//   auto app = x.start({TOVELIN_APP_PATH});           // DISPLAY set, no session bus
//   ASSERT_TRUE(x.waitUntil([&] { return !x.clientsOf(app.pid()).empty(); }));
//   QImage shot = x.grabWindow(x.clientsOf(app.pid()).front());
//   x.mouseMove(10, 10); x.click(3);                   // xdotool
//
// Everything started here dies with the object. Every wait is bounded.

#include "tests/desktop/child_process.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QImage>
#include <QRect>

namespace tovelin::test {

using XWindow = unsigned long;

class XSession
{
public:
    struct Options
    {
        bool windowManager = true; // openbox
        bool trayHost = false;     // tint2 with a taskbar and a tray
        int width = 1024;
        int height = 768;
    };

    explicit XSession(Options options);
    XSession() : XSession(Options{}) {}
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    const std::string& display() const { return m_display; }

    // The environment for programs on this display: DISPLAY set, no session bus (so tray
    // icons use the X embedding protocol), `extra` applied on top.
    std::vector<std::string> environment(const std::vector<std::string>& extra = {}) const;
    ChildProcess start(const std::vector<std::string>& argv,
                       const std::vector<std::string>& extraEnv = {}) const;
    CommandResult run(const std::vector<std::string>& argv,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) const;

    // Polls `done` every 20 ms until it holds or the time is up.
    static bool waitUntil(const std::function<bool()>& done,
                          std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

    // Stops and restarts the tray host (as after a panel crash).
    bool restartTrayHost();
    void stopTrayHost();
    bool startTrayHost();

    // Window manager's view.
    std::vector<XWindow> clientList() const;              // _NET_CLIENT_LIST
    std::vector<XWindow> clientsOf(long pid) const;       // those with _NET_WM_PID == pid
    std::vector<std::string> netWmState(XWindow w) const; // atom names of _NET_WM_STATE
    bool hasState(XWindow w, const std::string& atom) const;
    std::string title(XWindow w) const; // _NET_WM_NAME, else WM_NAME
    long pidOf(XWindow w) const;
    XWindow transientFor(XWindow w) const;
    bool isViewable(XWindow w) const;
    XWindow activeWindow() const; // _NET_ACTIVE_WINDOW
    // Taskbar entries of a process: its managed windows a taskbar lists (not skip-taskbar).
    std::vector<XWindow> taskbarEntriesOf(long pid) const;
    // Client area in root coordinates.
    QRect geometry(XWindow w) const;
    // Mapped windows of a process that the window manager does not frame: menus, tooltips,
    // notification balloons.
    std::vector<XWindow> popupsOf(long pid) const;

    // Tray: icons of a process embedded in the tray host (not direct children of the root).
    std::vector<XWindow> trayIconsOf(long pid) const;
    bool trayHostRunning() const; // the tray selection is owned

    // Pixels as they are on the screen.
    QImage grabScreen(const QRect& area) const;
    QImage grabWindow(XWindow w) const;

    // Pointer and keyboard (xdotool).
    bool mouseMove(int x, int y) const;
    bool mouseDown(int button) const;
    bool mouseUp(int button) const;
    bool click(int button, int repeat = 1) const;
    bool key(const std::string& keys) const;
    QPoint pointer() const;

    // Window manager requests, as a person makes them with the title bar or the taskbar.
    bool closeWindow(XWindow w) const;    // the close button
    bool minimizeWindow(XWindow w) const; // the minimize button
    bool activateWindow(XWindow w) const; // a click on its taskbar entry
    bool moveWindow(XWindow w, int x, int y) const;
    static std::string hexId(XWindow w);

private:
    struct Connection;
    int m_quiet = -1; // the servers' chatter goes here
    std::string m_error;
    std::string m_display;
    std::string m_tint2rc;
    ChildProcess m_xvfb;
    ChildProcess m_wm;
    ChildProcess m_tray;
    std::unique_ptr<Connection> m_x;
};

} // namespace tovelin::test
