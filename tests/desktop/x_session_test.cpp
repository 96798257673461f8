#include "tests/desktop/x_session.h"

#include <gtest/gtest.h>

namespace tovelin::test {
namespace {

using namespace std::chrono_literals;

TEST(XSessionTest, DesktopComesUpAndGoesAway)
{
    std::string display;
    {
        XSession x({.trayHost = true});
        ASSERT_TRUE(x.ok()) << x.error();
        display = x.display();
        EXPECT_TRUE(x.trayHostRunning());
        EXPECT_EQ(x.run({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"}).exitCode, 0);
        ASSERT_TRUE(x.mouseMove(100, 120));
        EXPECT_EQ(x.pointer(), QPoint(100, 120));
    }
    // The server is gone with the session: nobody answers on that display any more.
    const auto after = runCommand({"xprop", "-root", "-display", display}, environmentWith({}), 5s);
    EXPECT_NE(after.exitCode, 0);
}

TEST(XSessionTest, TrayHostRestarts)
{
    XSession x({.trayHost = true});
    ASSERT_TRUE(x.ok()) << x.error();
    x.stopTrayHost();
    EXPECT_FALSE(x.trayHostRunning());
    ASSERT_TRUE(x.startTrayHost());
    EXPECT_TRUE(x.trayHostRunning());
}

TEST(XSessionTest, ClientWindowsAreListedWithTheirState)
{
    XSession x;
    ASSERT_TRUE(x.ok()) << x.error();
    ChildProcess xmessage = x.start({"xmessage", "-geometry", "+50+60", "probe"});
    std::vector<XWindow> clients;
    ASSERT_TRUE(XSession::waitUntil([&] {
        // xmessage sets no _NET_WM_PID; its title names it.
        clients.clear();
        for (XWindow w : x.clientList())
            if (x.title(w) == "xmessage")
                clients.push_back(w);
        return !clients.empty();
    }));
    EXPECT_TRUE(x.isViewable(clients.front()));
    EXPECT_FALSE(x.hasState(clients.front(), "_NET_WM_STATE_SKIP_TASKBAR"));
    const QImage shot = x.grabWindow(clients.front());
    EXPECT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), x.geometry(clients.front()).size());
}

} // namespace
} // namespace tovelin::test
