#include "app/window_program.h"
#include "tests/ui/loopback_server.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/tray_icon.h"

#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace tovelin {
namespace {

using namespace std::chrono_literals;

enum class Active
{
    Main,
    About,
    Neither
};

// Runs the event loop until `done` holds or the time is up.
bool settle(const std::function<bool()>& done, int timeoutMs = 5000)
{
    return QTest::qWaitFor(done, timeoutMs);
}

class WindowCommandsTest : public ::testing::Test
{
protected:
    void SetUp() override { makeWindows(9); }

    void makeWindows(std::uint16_t port)
    {
        m_about.reset();
        m_main.reset();
        m_main = std::make_unique<TForm1>(
            *Endpoint::parse("http://127.0.0.1:" + std::to_string(port) + "/upload/"));
        m_about = std::make_unique<TForm2>();
        m_main->setAboutWindow(m_about.get());
        m_main->move(100, 120);
        m_main->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_main.get()));
    }

    // The window with the keyboard focus, as the platform reports it.
    Active active() const
    {
        const QWindow* w = QGuiApplication::focusWindow();
        if (w != nullptr && w == m_main->windowHandle())
            return Active::Main;
        if (w != nullptr && w == m_about->windowHandle())
            return Active::About;
        return Active::Neither;
    }

    std::unique_ptr<TForm1> m_main;
    std::unique_ptr<TForm2> m_about;
};

struct CommandCase
{
    const char* name;
    bool mainShown;  // before
    bool aboutShown; // before
    int item;        // 1 to 4: N1 to N4
    bool expectMain;
    bool expectAbout;
    Active expectActive;
};

void PrintTo(const CommandCase& c, std::ostream* os)
{
    *os << c.name;
}

class CommandEffectTest : public WindowCommandsTest,
                          public ::testing::WithParamInterface<CommandCase>
{
};

TEST_P(CommandEffectTest, ActsOnBothWindowsWithoutMovingThem)
{
    const CommandCase& c = GetParam();
    // The About window has been shown once and moved by the user.
    m_about->show();
    m_about->move(300, 260);
    const QPoint aboutAt = m_about->pos();
    const QPoint mainAt = m_main->pos();
    if (!c.aboutShown)
        m_about->hide();
    if (!c.mainShown)
        m_main->hide();
    if (c.mainShown)
        m_main->activateWindow();
    QAction* items[] = {m_main->N1, m_main->N2, m_main->N3, m_main->N4};
    items[c.item - 1]->trigger();

    EXPECT_TRUE(settle([&] {
        return m_main->isVisible() == c.expectMain && m_about->isVisible() == c.expectAbout;
    })) << "main "
        << m_main->isVisible() << " about " << m_about->isVisible();
    if (c.expectActive != Active::Neither) {
        EXPECT_TRUE(settle([&] { return active() == c.expectActive; }));
    }
    EXPECT_EQ(m_main->pos(), mainAt);
    EXPECT_EQ(m_about->pos(), aboutAt);
    EXPECT_FALSE(m_main->isMinimized());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandEffectTest,
    ::testing::Values(
        CommandCase{"about_beside_main", true, false, 1, true, true, Active::About},
        CommandCase{"about_while_main_hidden", false, false, 1, false, true, Active::About},
        CommandCase{"about_again_comes_to_front", true, true, 1, true, true, Active::About},
        CommandCase{"hide_main", true, false, 2, false, false, Active::Neither},
        CommandCase{"hide_main_leaves_about", true, true, 2, false, true, Active::About},
        CommandCase{"hide_hidden_main_changes_nothing", false, true, 2, false, true,
                    Active::Neither},
        CommandCase{"show_hidden_main", false, false, 3, true, false, Active::Main},
        CommandCase{"show_main_beside_about", false, true, 3, true, true, Active::Main},
        CommandCase{"show_shown_main_comes_to_front", true, true, 3, true, true, Active::Main}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowCommandsTest, AboutIsCentredOnItsFirstShowing)
{
    m_main->N1->trigger();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(m_about->geometry().center(), screen.center());
}

TEST_F(WindowCommandsTest, ShowRestoresAMinimizedMainWindow)
{
    m_main->showMinimized();
    ASSERT_TRUE(settle([&] { return m_main->isMinimized(); }));
    m_main->N3->trigger();
    EXPECT_TRUE(settle([&] { return !m_main->isMinimized() && m_main->isVisible(); }));
    EXPECT_TRUE(settle([&] { return active() == Active::Main; }));
}

TEST_F(WindowCommandsTest, HideThenShowOfAMinimizedWindowShowsItNormal)
{
    m_main->showMinimized();
    ASSERT_TRUE(settle([&] { return m_main->isMinimized(); }));
    m_main->N2->trigger();
    EXPECT_FALSE(m_main->isVisible());
    m_main->N3->trigger();
    EXPECT_TRUE(settle([&] { return m_main->isVisible() && !m_main->isMinimized(); }));
}

TEST_F(WindowCommandsTest, TrayIconHasItsPictureNoHoverTextAndOpensTheMenuAtThePointer)
{
    TrayIcon* icon = m_main->TrayIcon1;
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->icon().isNull());
    EXPECT_TRUE(icon->icon().availableSizes().contains(QSize(48, 48)));
    EXPECT_TRUE(icon->toolTip().isEmpty());
    EXPECT_TRUE(icon->isVisible());
    // The menu is opened by the icon itself on the right-button release, never also by the
    // toolkit on the press.
    EXPECT_EQ(icon->contextMenu(), nullptr);

    // Also while both windows are hidden.
    m_main->hide();
    const QPoint at(200, 150);
    QCursor::setPos(at);
    icon->openMenu();
    ASSERT_TRUE(settle([&] { return m_main->PopupMenu1->isVisible(); }));
    EXPECT_EQ(m_main->PopupMenu1->pos(), at);
    const QList<QAction*> items = m_main->PopupMenu1->actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0]->text(), QStringLiteral("О программе"));
    EXPECT_EQ(items[1]->text(), QStringLiteral("Свернуть"));
    EXPECT_EQ(items[2]->text(), QStringLiteral("Развернуть"));
    EXPECT_EQ(items[3]->text(), QStringLiteral("Выход"));
    m_main->PopupMenu1->close();
}

TEST_F(WindowCommandsTest, ContextActivationFromATrayHostOpensTheMenu)
{
    // Trays that report clicks by message rather than through the embedded icon.
    QCursor::setPos(QPoint(220, 170));
    emit m_main->TrayIcon1->activated(QSystemTrayIcon::Context);
    ASSERT_TRUE(settle([&] { return m_main->PopupMenu1->isVisible(); }));
    EXPECT_EQ(m_main->PopupMenu1->pos(), QPoint(220, 170));
    m_main->PopupMenu1->close();
    // A click or a double click asks for nothing.
    emit m_main->TrayIcon1->activated(QSystemTrayIcon::Trigger);
    emit m_main->TrayIcon1->activated(QSystemTrayIcon::DoubleClick);
    QTest::qWait(50);
    EXPECT_FALSE(m_main->PopupMenu1->isVisible());
    EXPECT_FALSE(m_about->isVisible());
}

class OutcomeNotificationTest : public WindowCommandsTest,
                                public ::testing::WithParamInterface<bool>
{
};

TEST_P(OutcomeNotificationTest, TellsTheOutcomeOnlyWhileTheMainWindowIsHidden)
{
    const bool hidden = GetParam();
    test::LoopbackServer server([](test::Peer& peer, int) {
        peer.readRequest();
        peer.writeAll(test::reply("HTTP/1.1 302 Found", "Location: /upload/xyz\r\n"));
    });
    makeWindows(server.port());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.bin"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(2000));
    }
    m_main->OpenDialog1.setRunner([&](QFileDialog&) -> std::optional<QString> { return path; });
    QSignalSpy notified(m_main->TrayIcon1, &TrayIcon::outcomeNotified);
    QSignalSpy ended(m_main.get(), &TForm1::uploadEnded);
    m_main->sButton1->click();
    if (hidden)
        m_main->N2->trigger();
    ASSERT_TRUE(settle([&] { return ended.count() == 1; }, 10000));
    const QString link =
        QStringLiteral("http://127.0.0.1:%1/xyz").arg(static_cast<int>(server.port()));
    EXPECT_EQ(m_main->Edit1->text(), link);
    if (!hidden) {
        EXPECT_EQ(notified.count(), 0);
        return;
    }
    ASSERT_EQ(notified.count(), 1);
    EXPECT_EQ(notified.front().front().toString(), link);
    // Choosing the notification brings the window back.
    emit m_main->TrayIcon1->messageClicked();
    EXPECT_TRUE(settle([&] { return m_main->isVisible() && active() == Active::Main; }));
}

INSTANTIATE_TEST_SUITE_P(MainWindow, OutcomeNotificationTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "hidden" : "shown"; });

TEST(WindowProgramCommandsTest, ClosingTheAboutWindowWhileTheMainWindowIsHiddenKeepsRunning)
{
    bool stillRunning = false;
    bool finished = false;
    const int code = runWindowProgram(
        *Endpoint::parse("http://127.0.0.1:9/upload/"), [&](TForm1& main, TForm2& about) {
            main.N2->trigger();
            main.N1->trigger();
            QTimer::singleShot(0, &about, [&about] { about.close(); });
            QTimer::singleShot(500, &main, [&] {
                stillRunning = !about.isVisible() && !main.isVisible();
                main.N4->trigger();
            });
            // A bound in case the program never ends on its own.
            QTimer::singleShot(10000, qApp, [&] {
                finished = true;
                QCoreApplication::exit(99);
            });
        });
    EXPECT_TRUE(stillRunning) << "the program ended when the About window closed";
    EXPECT_FALSE(finished) << "\"Выход\" did not end the program";
    EXPECT_EQ(code, 0);
}

} // namespace
} // namespace tovelin
