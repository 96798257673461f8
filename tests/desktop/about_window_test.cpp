#include "ui/Unit2.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace tovelin {
namespace {

struct LabelCase
{
    const char* name;
    QRect rect; // as laid out for the named face; a wider stand-in may widen it
    const char* text;
    int pixelHeight;
    bool underline;
};

class AboutWindowTest : public ::testing::Test
{
protected:
    QLabel* label(const char* name) const { return m_form.findChild<QLabel*>(name); }

    TForm2 m_form;
};

TEST_F(AboutWindowTest, IsAFixedUntitledWindowWithACloseButtonOnly)
{
    EXPECT_FALSE(m_form.isVisible());
    EXPECT_TRUE(m_form.isWindow());
    EXPECT_EQ(m_form.size(), QSize(404, 108));
    EXPECT_EQ(m_form.minimumSize(), QSize(404, 108));
    EXPECT_EQ(m_form.maximumSize(), QSize(404, 108));
    EXPECT_TRUE(m_form.windowTitle().isEmpty());
    const Qt::WindowFlags flags = m_form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(m_form.font().pixelSize(), 11);
}

TEST_F(AboutWindowTest, LabelsStandWhereLaidOutWithTheirTextsAndFonts)
{
    const std::vector<LabelCase> cases = {
        {"sLabel1", {60, 20, 279, 20}, "Программа разработана Tarn'om", 16, false},
        {"sLabel2", {28, 52, 349, 16}, "Подробно о программе можно узнать на сайте", 13, false},
        {"Label1", {120, 80, 164, 20}, "Ляпинора", 16, true},
    };
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QLabel* l = label(c.name);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->text(), QString::fromUtf8(c.text));
        EXPECT_EQ(l->pos(), c.rect.topLeft());
        EXPECT_EQ(l->height(), c.rect.height());
        // Never narrower than laid out, and wide enough for the whole text, inside the window.
        EXPECT_GE(l->width(), c.rect.width());
        EXPECT_GE(l->width(), l->sizeHint().width());
        EXPECT_LE(l->geometry().right(), m_form.width() - 1);
        EXPECT_EQ(l->font().pixelSize(), c.pixelHeight);
        EXPECT_TRUE(l->font().bold());
        EXPECT_EQ(l->font().underline(), c.underline);
        EXPECT_EQ(l->palette().color(QPalette::WindowText), QColor(Qt::black));
    }
}

struct ClickCase
{
    const char* name;
    bool doubleClick;
    Qt::MouseButton button;
    int expectedOpens;
};

void PrintTo(const ClickCase& c, std::ostream* os)
{
    *os << c.name;
}

class AboutLinkTest : public AboutWindowTest, public ::testing::WithParamInterface<ClickCase>
{
};

TEST_P(AboutLinkTest, OnlyADoubleClickOpensTheWebsite)
{
    const ClickCase& c = GetParam();
    std::vector<QUrl> opened;
    m_form.setUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    m_form.show();
    const QPoint inside(10, 10);
    if (c.doubleClick)
        QTest::mouseDClick(m_form.Label1, c.button, {}, inside);
    else
        QTest::mouseClick(m_form.Label1, c.button, {}, inside);
    ASSERT_EQ(static_cast<int>(opened.size()), c.expectedOpens);
    if (c.expectedOpens > 0) {
        EXPECT_EQ(opened.front(), QUrl(QStringLiteral(TOVELIN_ABOUT_URL)));
        EXPECT_EQ(m_form.websiteUrl(), QUrl(QStringLiteral(TOVELIN_ABOUT_URL)));
    }
    // A double click elsewhere in the window opens nothing.
    QTest::mouseDClick(m_form.sLabel1, Qt::LeftButton, {}, inside);
    QTest::mouseDClick(&m_form, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(static_cast<int>(opened.size()), c.expectedOpens);
}

INSTANTIATE_TEST_SUITE_P(Clicks, AboutLinkTest,
                         ::testing::Values(ClickCase{"single_left", false, Qt::LeftButton, 0},
                                           ClickCase{"single_right", false, Qt::RightButton, 0},
                                           ClickCase{"double_left", true, Qt::LeftButton, 1},
                                           ClickCase{"double_right", true, Qt::RightButton, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AboutWindowTest, CentredOnItsFirstShowingThenWhereItLastStood)
{
    m_form.show();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(m_form.geometry().center(), screen.center());

    const QPoint moved = screen.topLeft() + QPoint(30, 40);
    m_form.move(moved);
    m_form.hide();
    m_form.show();
    EXPECT_EQ(m_form.pos(), moved);
}

TEST_F(AboutWindowTest, ClosingOnlyHidesItAndNeverEndsTheProgram)
{
    // Even where closing the last window would end the program.
    QGuiApplication::setQuitOnLastWindowClosed(true);
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    m_form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_form));
    EXPECT_TRUE(m_form.close());
    QCoreApplication::processEvents();
    EXPECT_FALSE(m_form.isVisible());
    EXPECT_EQ(lastClosed.count(), 0);
    // The same window comes back.
    m_form.show();
    EXPECT_TRUE(m_form.isVisible());
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

} // namespace
} // namespace tovelin
