#include "app/window_program.h"
#include "tests/ui/loopback_server.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <optional>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

namespace tovelin {
namespace {

TEST(WindowProgramTest, StartsWithTheMainWindowCentredAndTheAboutWindowHidden)
{
    bool checked = false;
    bool aboutShownAtClose = false;
    const int code = runWindowProgram(
        *Endpoint::parse("http://127.0.0.1:9/upload/"), [&](TForm1& form1, TForm2& form2) {
            EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("Tovelin"));
            EXPECT_TRUE(form1.isVisible());
            EXPECT_FALSE(form2.isVisible());
            const QRect screen = form1.screen()->availableGeometry();
            EXPECT_LE((form1.geometry().center() - screen.center()).manhattanLength(), 2);
            checked = true;
            // With the About window shown, closing the main window still ends the loop.
            QTimer::singleShot(0, &form1, [&form1, &form2, &aboutShownAtClose] {
                form1.N1->trigger();
                aboutShownAtClose = form2.isVisible();
                form1.close();
            });
        });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(checked);
    EXPECT_TRUE(aboutShownAtClose);
}

TEST(WindowProgramTest, ExitWhileTheFileDialogIsOpenEndsTheProgram)
{
    bool dialogWasOpen = false;
    const int code = runWindowProgram(
        *Endpoint::parse("http://127.0.0.1:9/upload/"), [&](TForm1& form1, TForm2&) {
            form1.OpenDialog1.setRunner([&](QFileDialog& dialog) -> std::optional<QString> {
                QTimer::singleShot(50, &form1, [&] {
                    dialogWasOpen = dialog.isVisible();
                    form1.N4->trigger();
                });
                dialog.exec();
                return std::nullopt;
            });
            QTimer::singleShot(0, form1.sButton1, &QPushButton::click);
            // Should the end not come, the loop is ended with a code the test refuses.
            QTimer::singleShot(10000, [] { QCoreApplication::exit(3); });
        });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(dialogWasOpen);
}

class ShutdownTest : public ::testing::TestWithParam<const char*>
{
};

TEST_P(ShutdownTest, ClosingDuringAnUploadEndsTheProgramAtOnce)
{
    // A host that takes the request head and then never reads again: the send blocks.
    std::atomic<bool> clientClosed{false};
    test::LoopbackServer host([&](test::Peer& peer, int) {
        peer.readHead();
        clientClosed = peer.waitForClientClose();
    });
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(40LL * 1024 * 1024));
    }

    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QStringLiteral(TOVELIN_SHUTDOWN_PROBE),
                {QString::number(host.port()), path, QString::fromLatin1(GetParam())});
    ASSERT_TRUE(probe.waitForStarted(10000));
    QElapsedTimer clock;
    while (!probe.canReadLine()) {
        ASSERT_TRUE(probe.waitForReadyRead(30000)) << "the upload never got under way";
    }
    clock.start();
    ASSERT_EQ(probe.readLine().trimmed(), QByteArray("closing"));
    ASSERT_TRUE(probe.waitForFinished(10000));
    const qint64 took = clock.elapsed();

    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 0);
    EXPECT_LT(took, 1000) << "the program took " << took << " ms to end";
    EXPECT_TRUE(clientClosed.load());
}

INSTANTIATE_TEST_SUITE_P(Paths, ShutdownTest, ::testing::Values("close", "exit"));

} // namespace
} // namespace tovelin
