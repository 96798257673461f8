#include "tests/desktop/x_session.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QImage>

namespace tovelin::test {
namespace {

using namespace std::chrono_literals;

// Pixels that differ from the window's background colour, one row or column at a time.
class Shot
{
public:
    explicit Shot(QImage image)
        : m_image(std::move(image).convertToFormat(QImage::Format_RGB32)),
          m_background(m_image.pixel(1, 1))
    {
    }

    bool marked(int x, int y) const
    {
        const QRgb p = m_image.pixel(x, y);
        return std::abs(qRed(p) - qRed(m_background)) + std::abs(qGreen(p) - qGreen(m_background)) +
                   std::abs(qBlue(p) - qBlue(m_background)) >
               24;
    }

    // First and last marked pixel of row y between x = from and x = to.
    std::pair<int, int> rowExtent(int y, int from, int to) const
    {
        return extent(from, to, [&](int x) { return marked(x, y); });
    }

    std::pair<int, int> columnExtent(int x, int from, int to) const
    {
        return extent(from, to, [&](int y) { return marked(x, y); });
    }

    // The smallest rectangle holding every marked pixel inside `area`.
    QRect inkWithin(const QRect& area) const
    {
        QRect ink;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                if (marked(x, y)) {
                    ink |= QRect(x, y, 1, 1);
                }
            }
        }
        return ink;
    }

    QRgb pixel(int x, int y) const { return m_image.pixel(x, y); }

private:
    template <typename Marked> static std::pair<int, int> extent(int from, int to, Marked isMarked)
    {
        std::pair<int, int> found{-1, -1};
        for (int i = from; i <= to; ++i) {
            if (isMarked(i)) {
                found.first = found.first < 0 ? i : found.first;
                found.second = i;
            }
        }
        return found;
    }

    QImage m_image;
    QRgb m_background;
};

// A drawn control may leave its outermost pixel to the background (rounded corners,
// anti-aliased frames): each edge may be one pixel in.
::testing::AssertionResult edgesAt(std::pair<int, int> seen, int first, int last)
{
    if (std::abs(seen.first - first) <= 1 && std::abs(seen.second - last) <= 1) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "edges at " << seen.first << " and " << seen.second
                                         << ", expected " << first << " and " << last;
}

class MainWindowDesktopTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_x.ok()) << m_x.error();
        m_app = m_x.start({TOVELIN_APP_PATH});
        ASSERT_TRUE(XSession::waitUntil([&] {
            for (XWindow w : m_x.clientsOf(m_app.pid())) {
                if (m_x.title(w) == "Tovelin" && m_x.isViewable(w)) {
                    m_window = w;
                    return true;
                }
            }
            return false;
        })) << "the main window did not come up";
        // Give the first paint a moment after the window was mapped.
        std::this_thread::sleep_for(500ms);
    }

    XSession m_x;
    ChildProcess m_app;
    XWindow m_window = 0;
};

TEST_F(MainWindowDesktopTest, ClientAreaAndControlsStandWhereTheyBelong)
{
    const QRect client = m_x.geometry(m_window);
    EXPECT_EQ(client.size(), QSize(273, 81));
    // Centred on the screen; the frame's title bar may shift the client a little down.
    EXPECT_LE(std::abs(client.center().x() - 1024 / 2), 2);
    EXPECT_LE(std::abs(client.center().y() - 768 / 2), 30);

    const QImage image = m_x.grabWindow(m_window);
    const Shot shot(image);
    // Each control's edges, looked for between its neighbours: the link box and the button
    // side by side, the bar across below them.
    EXPECT_TRUE(edgesAt(shot.rowExtent(14, 0, 190), 4, 188)) << "link box";
    EXPECT_TRUE(edgesAt(shot.rowExtent(14, 190, 272), 192, 266)) << "button";
    EXPECT_TRUE(edgesAt(shot.rowExtent(44, 0, 272), 4, 268)) << "bar";
    EXPECT_TRUE(edgesAt(shot.columnExtent(100, 0, 30), 4, 24)) << "link box";
    EXPECT_TRUE(edgesAt(shot.columnExtent(230, 0, 30), 4, 24)) << "button";
    EXPECT_TRUE(edgesAt(shot.columnExtent(100, 30, 56), 36, 52)) << "bar";
    // The link box is white inside.
    EXPECT_EQ(shot.pixel(96, 14) & 0xffffff, 0xffffffu);
    // The caption of the size read-out stays inside its rectangle.
    const QRect caption = shot.inkWithin(QRect(0, 55, 273, 26));
    ASSERT_FALSE(caption.isEmpty());
    EXPECT_TRUE(QRect(4, 60, 113, 16).contains(caption))
        << caption.x() << "," << caption.y() << " " << caption.width() << "x" << caption.height();
}

TEST_F(MainWindowDesktopTest, CannotBeMaximisedOrResized)
{
    const auto allowed =
        m_x.run({"xprop", "-id", std::to_string(m_window), "_NET_WM_ALLOWED_ACTIONS"});
    ASSERT_EQ(allowed.exitCode, 0);
    EXPECT_EQ(allowed.out.find("MAXIMIZE"), std::string::npos) << allowed.out;
    EXPECT_EQ(allowed.out.find("_NET_WM_ACTION_RESIZE"), std::string::npos) << allowed.out;
    EXPECT_NE(allowed.out.find("_NET_WM_ACTION_MINIMIZE"), std::string::npos) << allowed.out;
    EXPECT_NE(allowed.out.find("_NET_WM_ACTION_CLOSE"), std::string::npos) << allowed.out;
}

TEST_F(MainWindowDesktopTest, ClosingTheWindowEndsTheProgram)
{
    ASSERT_EQ(m_x.run({"wmctrl", "-i", "-c", std::to_string(m_window)}).exitCode, 0);
    const auto code = m_app.waitForExit(5s);
    ASSERT_TRUE(code.has_value()) << "the program kept running";
    EXPECT_EQ(*code, 0);
}

} // namespace
} // namespace tovelin::test
