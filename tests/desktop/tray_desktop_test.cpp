// The running program on a real X desktop (openbox, tint2): its tray icon, the window
// commands' menu, the taskbar entry and the About window's link.
#include "tests/desktop/x_session.h"
#include "tests/support/temp_dir.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

namespace tovelin::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr QSize kMainClient(273, 81);
constexpr QSize kAboutClient(404, 108);

enum MenuItem
{
    kAbout = 0,
    kHide = 1,
    kShow = 2,
    kExit = 3
};

class TrayDesktopTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(x.ok()) << x.error();
        // The desktop's browser opener, replaced by one that notes what it was asked for.
        const std::string opener =
            m_dir.write("xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" +
                                        (m_dir.path() / "opened").string() + "'\n");
        fs::permissions(opener, fs::perms::owner_all);
        const char* path = std::getenv("PATH");
        app = x.start({TOVELIN_APP_PATH}, {"PATH=" + m_dir.path().string() + ":" +
                                               (path != nullptr ? path : "/usr/bin"),
                                           "BROWSER"});
        ASSERT_TRUE(app.started());
        ASSERT_TRUE(XSession::waitUntil([&] { return mainWindow() && !icons().empty(); }))
            << "the main window and the tray icon did not come up";
        m_main = *mainWindow();
    }

    void TearDown() override { app.terminate(); }

    std::optional<XWindow> clientOfSize(QSize size) const
    {
        for (XWindow w : x.clientsOf(app.pid()))
            if (x.geometry(w).size() == size)
                return w;
        return std::nullopt;
    }
    std::optional<XWindow> mainWindow() const { return clientOfSize(kMainClient); }
    std::optional<XWindow> aboutWindow() const { return clientOfSize(kAboutClient); }
    std::vector<XWindow> icons() const { return x.trayIconsOf(app.pid()); }

    std::optional<QRect> menuRect() const
    {
        for (XWindow w : x.popupsOf(app.pid())) {
            const QRect r = x.geometry(w);
            if (r.height() > 40)
                return r;
        }
        return std::nullopt;
    }

    QPoint iconCentre() const { return x.geometry(icons().front()).center(); }

    // Opens the menu the way a person does: the right button released over the icon.
    std::optional<QRect> openMenuFromIcon() const
    {
        const QPoint at = iconCentre();
        if (!x.mouseMove(at.x(), at.y()) || !x.click(3))
            return std::nullopt;
        std::optional<QRect> menu;
        XSession::waitUntil([&] { return (menu = menuRect()).has_value(); }, 5s);
        return menu;
    }

    void choose(MenuItem item) const
    {
        const auto menu = openMenuFromIcon();
        ASSERT_TRUE(menu) << "the menu did not open";
        // Four items of one height fill the menu.
        const int y = menu->top() + menu->height() * (2 * item + 1) / 8;
        ASSERT_TRUE(x.mouseMove(menu->left() + 20, y));
        ASSERT_TRUE(x.click(1));
        ASSERT_TRUE(XSession::waitUntil([&] { return !menuRect(); }, 5s));
    }

    bool listed(XWindow w) const
    {
        for (XWindow c : x.clientList())
            if (c == w)
                return true;
        return false;
    }

    std::vector<XWindow> taskbar() const { return x.taskbarEntriesOf(app.pid()); }

    std::string opened() const
    {
        std::ifstream file(m_dir.path() / "opened");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    XSession x{{.trayHost = true}};
    ChildProcess app;
    XWindow m_main = 0;
    TempDir m_dir;
};

TEST_F(TrayDesktopTest, IconSitsInTheTrayWithoutHoverText)
{
    ASSERT_EQ(icons().size(), 1u);
    // The panel is 30 pixels high at the top of the screen.
    EXPECT_LT(x.geometry(icons().front()).bottom(), 30);
    const QPoint at = iconCentre();
    ASSERT_TRUE(x.mouseMove(at.x(), at.y()));
    EXPECT_FALSE(XSession::waitUntil([&] { return !x.popupsOf(app.pid()).empty(); }, 1500ms))
        << "hovering showed something";
}

TEST_F(TrayDesktopTest, MenuOpensAtThePointerWhenTheRightButtonIsReleased)
{
    const QPoint at = iconCentre();
    ASSERT_TRUE(x.mouseMove(at.x(), at.y()));
    ASSERT_TRUE(x.mouseDown(3));
    EXPECT_FALSE(XSession::waitUntil([&] { return menuRect().has_value(); }, 700ms))
        << "the menu opened on the press";
    ASSERT_TRUE(x.mouseUp(3));
    std::optional<QRect> menu;
    ASSERT_TRUE(XSession::waitUntil([&] { return (menu = menuRect()).has_value(); }, 5s));
    EXPECT_EQ(menu->topLeft(), at);
    ASSERT_TRUE(x.key("Escape"));
    EXPECT_TRUE(XSession::waitUntil([&] { return !menuRect(); }, 5s));
}

TEST_F(TrayDesktopTest, LeftClickAndDoubleClickOnTheIconDoNothing)
{
    const QPoint at = iconCentre();
    ASSERT_TRUE(x.mouseMove(at.x(), at.y()));
    ASSERT_TRUE(x.click(1));
    ASSERT_TRUE(x.click(1, 2));
    EXPECT_FALSE(XSession::waitUntil(
        [&] { return !x.popupsOf(app.pid()).empty() || aboutWindow() || !x.isViewable(m_main); },
        1500ms));
    EXPECT_TRUE(listed(m_main));
}

TEST_F(TrayDesktopTest, AboutCommandShowsTheAboutWindowCentredInFrontAndActive)
{
    choose(kAbout);
    std::optional<XWindow> about;
    ASSERT_TRUE(XSession::waitUntil([&] { return (about = aboutWindow()).has_value(); }));
    ASSERT_TRUE(XSession::waitUntil([&] { return x.activeWindow() == *about; }));
    const QRect r = x.geometry(*about);
    // Centred on the screen (1024 × 768); the title bar shifts the client area down a little.
    EXPECT_NEAR(r.center().x(), 512, 3);
    EXPECT_NEAR(r.center().y(), 384, 30);
    // Modeless: the main window stays shown, and one taskbar entry stands for both.
    EXPECT_TRUE(listed(m_main));
    ASSERT_TRUE(XSession::waitUntil([&] { return taskbar() == std::vector<XWindow>{m_main}; }));
    EXPECT_EQ(x.transientFor(*about), m_main);

    // Shown again after closing, it stands where it was left.
    ASSERT_TRUE(x.moveWindow(*about, 40, 300));
    QRect moved;
    ASSERT_TRUE(XSession::waitUntil([&] {
        moved = x.geometry(*about);
        return moved.left() < 200;
    }));
    ASSERT_TRUE(x.closeWindow(*about));
    ASSERT_TRUE(XSession::waitUntil([&] { return !aboutWindow(); }));
    choose(kAbout);
    ASSERT_TRUE(XSession::waitUntil([&] { return (about = aboutWindow()).has_value(); }));
    EXPECT_TRUE(XSession::waitUntil([&] { return x.geometry(*about) == moved; }, 3s))
        << "moved to " << moved.x() << "," << moved.y() << " but came back at "
        << x.geometry(*about).x() << "," << x.geometry(*about).y();
}

TEST_F(TrayDesktopTest, HideAndShowCommandsTakeTheMainWindowAndItsTaskbarEntryAwayAndBack)
{
    const QRect before = x.geometry(m_main);
    ASSERT_EQ(taskbar(), std::vector<XWindow>{m_main});

    choose(kHide);
    ASSERT_TRUE(XSession::waitUntil([&] { return !listed(m_main); }));
    EXPECT_TRUE(taskbar().empty());
    EXPECT_EQ(icons().size(), 1u);
    EXPECT_TRUE(app.running());

    // The icon is the way back, with both windows hidden.
    choose(kShow);
    ASSERT_TRUE(XSession::waitUntil([&] { return listed(m_main) && x.isViewable(m_main); }));
    EXPECT_EQ(x.geometry(m_main), before);
    EXPECT_TRUE(XSession::waitUntil([&] { return x.activeWindow() == m_main; }));
    EXPECT_EQ(taskbar(), std::vector<XWindow>{m_main});
}

TEST_F(TrayDesktopTest, AboutWindowCarriesTheTaskbarEntryWhileTheMainWindowIsHidden)
{
    choose(kHide);
    ASSERT_TRUE(XSession::waitUntil([&] { return !listed(m_main); }));
    choose(kAbout);
    std::optional<XWindow> about;
    ASSERT_TRUE(XSession::waitUntil([&] { return (about = aboutWindow()).has_value(); }));
    EXPECT_TRUE(XSession::waitUntil([&] { return taskbar() == std::vector<XWindow>{*about}; }));

    // Showing the main window hands the entry back to it.
    choose(kShow);
    ASSERT_TRUE(XSession::waitUntil([&] { return listed(m_main); }));
    EXPECT_TRUE(XSession::waitUntil([&] { return taskbar() == std::vector<XWindow>{m_main}; }));

    // Hidden again, and the About window closed: no entry, the program still runs.
    choose(kHide);
    ASSERT_TRUE(XSession::waitUntil([&] { return taskbar() == std::vector<XWindow>{*about}; }));
    ASSERT_TRUE(x.closeWindow(*about));
    ASSERT_TRUE(XSession::waitUntil([&] { return !aboutWindow(); }));
    EXPECT_TRUE(taskbar().empty());
    EXPECT_FALSE(app.waitForExit(1s)) << "closing the About window ended the program";
    EXPECT_EQ(icons().size(), 1u);
    choose(kShow);
    EXPECT_TRUE(XSession::waitUntil([&] { return listed(m_main); }));
}

TEST_F(TrayDesktopTest, MinimizingTakesBothWindowsAwayAndTheyComeBackTogether)
{
    choose(kAbout);
    std::optional<XWindow> about;
    ASSERT_TRUE(XSession::waitUntil([&] { return (about = aboutWindow()).has_value(); }));
    const auto hidden = [&](XWindow w) {
        return x.hasState(w, "_NET_WM_STATE_HIDDEN");
    };

    // The minimize button of the main window; the entry stays on the taskbar.
    ASSERT_TRUE(x.minimizeWindow(m_main));
    ASSERT_TRUE(XSession::waitUntil([&] { return hidden(m_main) && hidden(*about); }));
    EXPECT_EQ(taskbar(), std::vector<XWindow>{m_main});

    // The taskbar entry restores both.
    ASSERT_TRUE(x.activateWindow(m_main));
    ASSERT_TRUE(XSession::waitUntil([&] { return !hidden(m_main) && !hidden(*about); }));

    // "Развернуть" restores a minimized program as well.
    ASSERT_TRUE(x.minimizeWindow(m_main));
    ASSERT_TRUE(XSession::waitUntil([&] { return hidden(m_main) && hidden(*about); }));
    choose(kShow);
    EXPECT_TRUE(XSession::waitUntil([&] { return !hidden(m_main) && x.isViewable(m_main); }));
    EXPECT_TRUE(XSession::waitUntil([&] { return x.activeWindow() == m_main; }));
}

TEST_F(TrayDesktopTest, AboutOpenedWhileTheMainWindowWasHiddenIsMinimizedWithItLater)
{
    choose(kHide);
    ASSERT_TRUE(XSession::waitUntil([&] { return !listed(m_main); }));
    choose(kAbout);
    std::optional<XWindow> about;
    ASSERT_TRUE(XSession::waitUntil([&] { return (about = aboutWindow()).has_value(); }));
    choose(kShow);
    ASSERT_TRUE(XSession::waitUntil([&] { return listed(m_main) && x.isViewable(m_main); }));
    ASSERT_TRUE(XSession::waitUntil([&] { return x.transientFor(*about) == m_main; }));

    ASSERT_TRUE(x.minimizeWindow(m_main));
    EXPECT_TRUE(XSession::waitUntil([&] {
        return x.hasState(m_main, "_NET_WM_STATE_HIDDEN") &&
               x.hasState(*about, "_NET_WM_STATE_HIDDEN");
    }));
    EXPECT_EQ(taskbar(), std::vector<XWindow>{m_main});
}

TEST_F(TrayDesktopTest, ExitTakesTheIconOutOfTheTrayAndEndsTheProgram)
{
    choose(kAbout); // an open About window goes with it
    ASSERT_TRUE(XSession::waitUntil([&] { return aboutWindow().has_value(); }));
    choose(kExit);
    const auto code = app.waitForExit(5s);
    ASSERT_TRUE(code.has_value()) << "the program did not end";
    EXPECT_EQ(*code, 0);
    EXPECT_TRUE(icons().empty());
    EXPECT_TRUE(x.clientsOf(app.pid()).empty());
}

TEST_F(TrayDesktopTest, IconComesBackWhenTheTrayHostRestarts)
{
    x.stopTrayHost();
    ASSERT_TRUE(x.startTrayHost());
    ASSERT_TRUE(XSession::waitUntil([&] { return icons().size() == 1; }))
        << "the icon did not return to the new tray";
    choose(kAbout);
    EXPECT_TRUE(XSession::waitUntil([&] { return aboutWindow().has_value(); }));
}

TEST_F(TrayDesktopTest, LinkOpensTheWebsiteOnADoubleClickOnly)
{
    choose(kAbout);
    std::optional<XWindow> about;
    ASSERT_TRUE(XSession::waitUntil([&] { return (about = aboutWindow()).has_value(); }));
    const QRect r = x.geometry(*about);
    // Inside the link's text, which starts at (120, 80) of the client area.
    ASSERT_TRUE(x.mouseMove(r.left() + 140, r.top() + 88));
    ASSERT_TRUE(x.click(1));
    EXPECT_FALSE(XSession::waitUntil([&] { return !opened().empty(); }, 1500ms))
        << "a single click opened " << opened();
    // Far enough from the first click not to pair with it.
    std::this_thread::sleep_for(600ms);
    ASSERT_TRUE(x.click(1, 2));
    ASSERT_TRUE(XSession::waitUntil([&] { return !opened().empty(); }));
    EXPECT_EQ(opened(), std::string(TOVELIN_ABOUT_URL) + "\n");
}

} // namespace
} // namespace tovelin::test
