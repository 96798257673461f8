#include "tests/desktop/x_session.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
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

    // Runs of marked pixels along row y, as [first, last] pairs.
    std::vector<std::pair<int, int>> rowRuns(int y) const
    {
        std::vector<std::pair<int, int>> runs;
        for (int x = 0; x < m_image.width(); ++x) {
            if (!marked(x, y)) {
                continue;
            }
            if (!runs.empty() && runs.back().second == x - 1) {
                runs.back().second = x;
            } else {
                runs.emplace_back(x, x);
            }
        }
        return runs;
    }

    std::vector<std::pair<int, int>> columnRuns(int x) const
    {
        std::vector<std::pair<int, int>> runs;
        for (int y = 0; y < m_image.height(); ++y) {
            if (!marked(x, y)) {
                continue;
            }
            if (!runs.empty() && runs.back().second == y - 1) {
                runs.back().second = y;
            } else {
                runs.emplace_back(y, y);
            }
        }
        return runs;
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
    QImage m_image;
    QRgb m_background;
};

// A drawn control may leave its outermost pixel to the background (rounded corners,
// anti-aliased frames); a run counts as matching when each end is within one pixel.
::testing::AssertionResult spans(const std::vector<std::pair<int, int>>& runs, int first, int last)
{
    for (const auto& [a, b] : runs) {
        if (std::abs(a - first) <= 1 && std::abs(b - last) <= 1) {
            return ::testing::AssertionSuccess();
        }
    }
    std::string seen;
    for (const auto& [a, b] : runs) {
        seen += " [" + std::to_string(a) + "," + std::to_string(b) + "]";
    }
    return ::testing::AssertionFailure()
           << "no run from " << first << " to " << last << "; runs:" << seen;
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
    fprintf(stderr, "save %d %dx%d\n", image.save("/tmp/hc/shot.png", "PNG"), image.width(), image.height());
    const Shot shot(image);
    // The link box and the button side by side, the bar across, as laid out.
    EXPECT_TRUE(spans(shot.rowRuns(14), 4, 188));
    EXPECT_TRUE(spans(shot.rowRuns(14), 192, 266));
    EXPECT_TRUE(spans(shot.rowRuns(44), 4, 268));
    EXPECT_TRUE(spans(shot.columnRuns(100), 4, 24));
    EXPECT_TRUE(spans(shot.columnRuns(100), 36, 52));
    EXPECT_TRUE(spans(shot.columnRuns(230), 4, 24));
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
