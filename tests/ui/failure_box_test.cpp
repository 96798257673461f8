#include "tests/ui/ui_test_support.h"
#include "ui/failure_box.h"
#include "upload/failure.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidget>

namespace tovelin {
namespace {

struct TextCase
{
    const char* message;
    const char* shown;
};

class FailureBoxTextTest : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(FailureBoxTextTest, AppendsAPeriodAfterCharactersThatSortAfterIt)
{
    EXPECT_EQ(failureBoxText(QString::fromUtf8(GetParam().message)).toStdString(),
              GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, FailureBoxTextTest,
    ::testing::Values(TextCase{"", ""},
                      TextCase{"No such file or directory", "No such file or directory."},
                      TextCase{"done.", "done."}, TextCase{"(code 5)", "(code 5)"},
                      TextCase{"Ошибка", "Ошибка."}, TextCase{"stop!", "stop!"},
                      TextCase{"a,", "a,"}, TextCase{"a-", "a-"}, TextCase{"a ", "a "},
                      TextCase{"a/", "a/."}, TextCase{"42", "42."}));

TEST(FailureBoxTest, FailureInAHandlerShowsTheBoxAndTheProgramGoesOn)
{
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tovelin"));
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* button = new QPushButton(QStringLiteral("go"), &window);
    button->move(0, 30);
    int runs = 0;
    QObject::connect(button, &QPushButton::clicked, [&] {
        runHandler([&] {
            ++runs;
            throw Failure("Cannot open file \"/x\". No such file or directory");
        });
    });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    ASSERT_TRUE(test::waitFor([&] { return edit->hasFocus(); }));

    test::BoxAnswerer boxes;
    button->click();
    ASSERT_TRUE(test::waitFor([&] { return edit->hasFocus(); }, std::chrono::seconds(2)));
    button->click();
    ASSERT_EQ(boxes.seen().size(), 2u);
    EXPECT_EQ(runs, 2);
    const auto& box = boxes.seen().front();
    EXPECT_EQ(box.title, QStringLiteral("Tovelin"));
    EXPECT_EQ(box.text, QStringLiteral("Cannot open file \"/x\". No such file or directory."));
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QStringList{QStringLiteral("OK")});
    EXPECT_EQ(box.modality, Qt::ApplicationModal);
    EXPECT_TRUE(test::waitFor([&] { return edit->hasFocus(); }, std::chrono::seconds(2)));
}

} // namespace
} // namespace tovelin
