#include "tests/ui/loopback_server.h"
#include "tests/ui/ui_test_support.h"
#include "ui/Unit1.h"
#include "ui/progress_gauge.h"
#include "upload/form_data_body.h"
#include "upload/socket_error.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace tovelin {
namespace {

using namespace std::chrono_literals;
using test::BoxAnswerer;
using test::LoopbackServer;
using test::Peer;
using test::waitFor;

using BarState = std::pair<int, int>; // Max, Position

const QString kRefusal = QStringLiteral("Недопустимый размер файла");
const std::string kFound = "HTTP/1.1 302 Found";

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QGuiApplication::setApplicationDisplayName(QStringLiteral("Tovelin"));
        QLocale::setDefault(QLocale::c());
    }

    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    // A server answering every upload with `answer` after reading the whole request.
    void serve(std::string answer)
    {
        serveWith([answer](Peer& peer, int) {
            peer.readRequest();
            peer.writeAll(answer);
        });
    }

    void serveWith(LoopbackServer::Handler handler)
    {
        m_server = std::make_unique<LoopbackServer>(std::move(handler));
        makeForm(m_server->port());
    }

    void makeForm(std::uint16_t port)
    {
        m_form.reset();
        ExchangeLimits limits;
        limits.connectTimeout = 5s;
        limits.errorBodyWait = 300ms;
        m_form = std::make_unique<TForm1>(
            *Endpoint::parse("http://127.0.0.1:" + std::to_string(port) + "/upload/"), limits);
        QObject::connect(m_form->ProgressBar1, &ProgressGauge::changed,
                         [this](int max, int position) { m_bar.emplace_back(max, position); });
    }

    QString makeFile(const QString& name, qint64 size)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_TRUE(file.resize(size));
        return path;
    }

    void answerDialogWith(const QString& path)
    {
        m_form->OpenDialog1.setRunner(
            [path](QFileDialog&) -> std::optional<QString> { return path; });
    }

    void cancelDialog()
    {
        m_form->OpenDialog1.setRunner([](QFileDialog&) -> std::optional<QString> { return {}; });
    }

    // Chooses the file through the button and waits for the upload's outcome.
    void uploadThroughButton(const QString& path)
    {
        answerDialogWith(path);
        QSignalSpy ended(m_form.get(), &TForm1::uploadEnded);
        m_form->sButton1->click();
        ASSERT_TRUE(waitFor([&] { return ended.count() == 1; })) << "no outcome";
    }

    std::string linkPrefix() const
    {
        return "http://127.0.0.1:" + std::to_string(m_server->port()) + "/";
    }

    QTemporaryDir m_dir;
    std::unique_ptr<LoopbackServer> m_server;
    std::unique_ptr<TForm1> m_form;
    std::vector<BarState> m_bar;
};

TEST_F(MainWindowTest, StartsEmptyWithItsLayout)
{
    makeForm(9);
    TForm1& form = *m_form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Tovelin"));
    EXPECT_EQ(form.size(), QSize(273, 81));
    EXPECT_EQ(form.minimumSize(), QSize(273, 81));
    EXPECT_EQ(form.maximumSize(), QSize(273, 81));
    EXPECT_FALSE(form.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(form.windowIcon().isNull());

    EXPECT_TRUE(form.Edit1->text().isEmpty());
    EXPECT_FALSE(form.Edit1->isReadOnly());
    EXPECT_TRUE(form.sLabel2->text().isEmpty());
    EXPECT_EQ(form.sLabel1->text(), QStringLiteral("Размер файла:"));
    EXPECT_EQ(form.sButton1->text(), QStringLiteral("Выбрать"));
    EXPECT_EQ(form.ProgressBar1->Max(), 100);
    EXPECT_EQ(form.ProgressBar1->Position(), 0);
    EXPECT_EQ(form.ProgressBar1->value(), 0);

    struct Placed
    {
        QWidget* widget;
        QRect rect;
        int pixelSize; // 0: not fixed here
        bool bold;
    };
    const Placed placed[] = {
        {form.Edit1, {4, 4, 185, 21}, 11, false},
        {form.sButton1, {192, 4, 75, 21}, 11, false},
        {form.ProgressBar1, {4, 36, 265, 17}, 0, false},
        {form.sLabel1, {4, 60, 113, 16}, 13, true},
    };
    for (const auto& p : placed) {
        SCOPED_TRACE(p.widget->objectName().toStdString());
        EXPECT_EQ(p.widget->geometry(), p.rect);
        if (p.pixelSize != 0) {
            EXPECT_EQ(p.widget->font().family(), QStringLiteral("MS Sans Serif"));
            EXPECT_EQ(p.widget->font().pixelSize(), p.pixelSize);
            EXPECT_EQ(p.widget->font().bold(), p.bold);
        }
    }
    EXPECT_EQ(form.sLabel2->geometry().topLeft(), QPoint(120, 60));
    EXPECT_EQ(form.sLabel2->font().pixelSize(), 13);
    EXPECT_TRUE(form.sLabel2->font().bold());

    QStringList captions;
    for (QAction* item : form.PopupMenu1->actions()) {
        captions << item->text();
    }
    EXPECT_EQ(captions, (QStringList{QStringLiteral("О программе"), QStringLiteral("Свернуть"),
                                     QStringLiteral("Развернуть"), QStringLiteral("Выход")}));
}

TEST_F(MainWindowTest, FontFallsBackToACyrillicSansSerif)
{
    makeForm(9);
    const QFontInfo shown(m_form->sLabel1->font());
    EXPECT_EQ(shown.pixelSize(), 13);
    // Whatever face is used must carry the Cyrillic caption.
    EXPECT_TRUE(QFontMetrics(m_form->sLabel1->font()).inFont(QChar(u'Р')));
}

TEST_F(MainWindowTest, DialogOffersTheFileTypesAndRemembersTheLastPath)
{
    serve(test::reply(kFound, "Location: /upload/x\r\n"));
    const QString first = makeFile(QStringLiteral("first.bin"), 10);
    std::vector<QStringList> filters;
    std::vector<QString> preselected;
    std::vector<QStringList> startsWith;
    std::vector<QFileDialog::FileMode> modes;
    m_form->OpenDialog1.setRunner([&](QFileDialog& dialog) -> std::optional<QString> {
        filters.push_back(dialog.nameFilters());
        preselected.push_back(dialog.selectedNameFilter());
        startsWith.push_back(dialog.selectedFiles());
        modes.push_back(dialog.fileMode());
        return filters.size() == 1 ? std::optional<QString>(first) : std::nullopt;
    });
    BoxAnswerer boxes;
    QSignalSpy ended(m_form.get(), &TForm1::uploadEnded);
    m_form->sButton1->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    m_form->sButton1->click();

    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0], (QStringList{"txt (*.txt)", "rar (*.rar)", "zip (*.zip)", "exe (*.exe)",
                                       "All files (*)"}));
    EXPECT_EQ(preselected[0], QStringLiteral("All files (*)"));
    EXPECT_EQ(modes[0], QFileDialog::AnyFile);
    ASSERT_FALSE(startsWith[1].isEmpty());
    EXPECT_EQ(startsWith[1].front(), first);
    EXPECT_EQ(preselected[1], QStringLiteral("All files (*)"));
    EXPECT_TRUE(boxes.seen().empty());
}

TEST_F(MainWindowTest, CancellingTheDialogChangesNothing)
{
    serve(test::reply(kFound, "Location: /upload/abc\r\n"));
    BoxAnswerer boxes;
    uploadThroughButton(makeFile(QStringLiteral("a.txt"), 1536));
    const QString link = m_form->Edit1->text();
    const QString size = m_form->sLabel2->text();
    const auto bar = m_bar;
    ASSERT_FALSE(link.isEmpty());

    cancelDialog();
    m_form->sButton1->click();
    QTest::qWait(100);
    EXPECT_EQ(m_form->Edit1->text(), link);
    EXPECT_EQ(m_form->sLabel2->text(), size);
    EXPECT_EQ(m_bar, bar);
    EXPECT_FALSE(m_form->uploadRunning());
    EXPECT_EQ(m_server->connections(), 1);
    EXPECT_TRUE(boxes.seen().empty());
}

struct SizeCase
{
    const char* name;
    qint64 bytes;
    bool accepted;
    const char* label; // in the C locale
};

class SizeCheckTest : public MainWindowTest, public ::testing::WithParamInterface<SizeCase>
{
};

TEST_P(SizeCheckTest, RefusesOrUploads)
{
    const SizeCase& c = GetParam();
    std::atomic<std::int64_t> received{-1};
    serveWith([&](Peer& peer, int) {
        received = peer.readRequest().bodyBytes;
        peer.writeAll(test::reply(kFound, "Location: /upload/sized\r\n"));
    });
    m_form->sLabel2->setText(QStringLiteral("earlier"));
    m_form->Edit1->setText(QStringLiteral("earlier link"));
    const QString path = makeFile(QString::fromLatin1(c.name), c.bytes);
    BoxAnswerer boxes;
    answerDialogWith(path);
    QSignalSpy ended(m_form.get(), &TForm1::uploadEnded);
    m_form->sButton1->click();

    if (c.accepted) {
        ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }, 30s));
        EXPECT_EQ(m_form->sLabel2->text(), QString::fromUtf8(c.label));
        EXPECT_EQ(m_form->Edit1->text().toStdString(), linkPrefix() + "sized");
        EXPECT_EQ(m_server->connections(), 1);
        EXPECT_GT(received.load(), c.bytes);
        EXPECT_TRUE(boxes.seen().empty());
        // The label grows with its text.
        EXPECT_GE(m_form->sLabel2->width(), m_form->sLabel2->sizeHint().width());
        return;
    }
    ASSERT_EQ(boxes.seen().size(), 1u);
    const auto& box = boxes.seen().front();
    EXPECT_EQ(box.title, QStringLiteral("Tovelin"));
    EXPECT_EQ(box.text, kRefusal);
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.buttons, QStringList{QStringLiteral("OK")});
    EXPECT_EQ(box.modality, Qt::ApplicationModal);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((box.geometry.center() - screen.center()).manhattanLength(), 4);

    QTest::qWait(100);
    EXPECT_EQ(m_form->sLabel2->text(), QStringLiteral("earlier"));
    EXPECT_EQ(m_form->Edit1->text(), QStringLiteral("earlier link"));
    EXPECT_TRUE(m_bar.empty());
    EXPECT_EQ(m_server->connections(), 0);
    EXPECT_FALSE(m_form->uploadRunning());
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeCheckTest,
                         ::testing::Values(SizeCase{"empty", 0, false, ""},
                                           SizeCase{"one_byte", 1, true, "0.0009765625 кб"},
                                           SizeCase{"kilobyte_and_half", 1536, true, "1.5 кб"},
                                           SizeCase{"largest", 51199LL * 1024, true, "51199 кб"},
                                           SizeCase{"one_byte_too_many", 51199LL * 1024 + 1, false,
                                                    ""},
                                           SizeCase{"whole_50_mib", 51200LL * 1024, false, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, SizeLabelUsesTheLocaleDecimalSeparator)
{
    serve(test::reply(kFound, "Location: /upload/x\r\n"));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    uploadThroughButton(makeFile(QStringLiteral("half.bin"), 1536));
    EXPECT_EQ(m_form->sLabel2->text(), QStringLiteral("1,5 кб"));
}

TEST_F(MainWindowTest, UnopenableNameShowsTheFailureBoxAndChangesNothing)
{
    serve(test::reply(kFound, "Location: /upload/x\r\n"));
    m_form->sLabel2->setText(QStringLiteral("earlier"));
    m_form->Edit1->setText(QStringLiteral("earlier link"));
    const QString folder = m_dir.filePath(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkdir(folder));

    for (const QString& path : {m_dir.filePath(QStringLiteral("missing.txt")), folder}) {
        SCOPED_TRACE(path.toStdString());
        BoxAnswerer boxes;
        answerDialogWith(path);
        m_form->sButton1->click();
        ASSERT_EQ(boxes.seen().size(), 1u);
        const auto& box = boxes.seen().front();
        EXPECT_EQ(box.title, QStringLiteral("Tovelin"));
        EXPECT_EQ(box.icon, QMessageBox::Critical);
        EXPECT_EQ(box.buttons, QStringList{QStringLiteral("OK")});
        EXPECT_TRUE(box.text.startsWith(QStringLiteral("Cannot open file \"") + path))
            << box.text.toStdString();
        EXPECT_TRUE(box.text.endsWith(QLatin1Char('.'))) << box.text.toStdString();
        EXPECT_FALSE(box.text.endsWith(QStringLiteral(".."))) << box.text.toStdString();
    }
    QTest::qWait(100);
    EXPECT_EQ(m_form->sLabel2->text(), QStringLiteral("earlier"));
    EXPECT_EQ(m_form->Edit1->text(), QStringLiteral("earlier link"));
    EXPECT_TRUE(m_bar.empty());
    EXPECT_EQ(m_server->connections(), 0);
    EXPECT_TRUE(m_form->isEnabled());
}

struct OutcomeCase
{
    const char* name;
    std::string answer;   // raw bytes the host sends after reading the request
    const char* before;   // link box text before the upload
    std::string expected; // "<prefix>" stands for the link prefix
};

class OutcomeTest : public MainWindowTest, public ::testing::WithParamInterface<OutcomeCase>
{
};

TEST_P(OutcomeTest, LinkBoxShowsTheOutcome)
{
    const OutcomeCase& c = GetParam();
    serve(c.answer);
    m_form->Edit1->setText(QString::fromUtf8(c.before));
    uploadThroughButton(makeFile(QStringLiteral("file.txt"), 3000));
    std::string expected = c.expected;
    if (expected.rfind("<prefix>", 0) == 0) {
        expected = linkPrefix() + expected.substr(8);
    }
    EXPECT_EQ(m_form->Edit1->text().toStdString(), expected);
    EXPECT_FALSE(m_form->uploadRunning());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, OutcomeTest,
    ::testing::Values(
        OutcomeCase{"found_gives_link", test::reply(kFound, "Location: /upload/abc123\r\n"), "",
                    "<prefix>abc123"},
        OutcomeCase{"found_replaces_earlier_link", test::reply(kFound, "Location: /upload/new\r\n"),
                    "http://old/link", "<prefix>new"},
        OutcomeCase{"found_without_marker", test::reply(kFound, "Location: /files/x\r\n"), "",
                    "<prefix>/files/x"},
        OutcomeCase{"found_with_a_body", test::reply(kFound, "Location: /upload/b\r\n", "moved"),
                    "", "<prefix>b"},
        OutcomeCase{"not_found_gives_status_line", test::reply("HTTP/1.1 404 Not Found"),
                    "http://old/link", "HTTP/1.1 404 Not Found"},
        OutcomeCase{"success_keeps_the_box", test::reply("HTTP/1.1 200 OK"), "http://old/link",
                    "http://old/link"},
        OutcomeCase{"first_success_leaves_it_empty", test::reply("HTTP/1.1 200 OK"), "", ""},
        OutcomeCase{"closed_without_reply", "", "http://old/link",
                    "Connection Closed Gracefully."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, CookiesOfOneUploadGoWithTheNext)
{
    std::mutex mutex;
    std::vector<std::string> heads;
    serveWith([&](Peer& peer, int index) {
        const auto request = peer.readRequest();
        {
            const std::lock_guard lock(mutex);
            heads.push_back(request.head);
        }
        peer.writeAll(test::reply(kFound, index == 0 ? "Location: /upload/a\r\nSet-Cookie: "
                                                       "sid=first; path=/\r\n"
                                                     : "Location: /upload/b\r\n"));
    });
    const QString path = makeFile(QStringLiteral("c.txt"), 100);
    uploadThroughButton(path);
    uploadThroughButton(path);
    const std::lock_guard lock(mutex);
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_EQ(heads[0].find("sid=first"), std::string::npos);
    EXPECT_NE(heads[1].find("Cookie: sid=first"), std::string::npos) << heads[1];
}

TEST_F(MainWindowTest, RefusedConnectionShowsItsMessageNotTheEarlierLink)
{
    std::uint16_t closedPort = 0;
    {
        LoopbackServer gone([](Peer&, int) {});
        closedPort = gone.port();
    }
    makeForm(closedPort);
    m_form->Edit1->setText(QStringLiteral("http://earlier/link"));
    answerDialogWith(makeFile(QStringLiteral("f.txt"), 100));
    QSignalSpy ended(m_form.get(), &TForm1::uploadEnded);
    m_form->sButton1->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    EXPECT_EQ(m_form->Edit1->text().toStdString(), socketErrorMessage(kConnectionRefused));
    EXPECT_TRUE(m_bar.empty());
}

// The body a file yields: the part's framing around the file's bytes.
std::int64_t framingOf(const QString& path)
{
    FormDataBody body;
    body.addFilePart("file", QFile::encodeName(path).toStdString(), "application/octet-stream");
    return body.length() - QFileInfo(path).size();
}

struct BarCase
{
    const char* name;
    std::string answer;
    std::vector<BarState> afterSend; // L stands for the body's length
};

class ProgressTest : public MainWindowTest, public ::testing::WithParamInterface<BarCase>
{
};

TEST_P(ProgressTest, BarFollowsSendThenReply)
{
    const BarCase& c = GetParam();
    serveWith([answer = c.answer](Peer& peer, int) {
        peer.readRequest();
        peer.writeAll(answer);
    });
    constexpr int kBody = 40000;
    const QString path = makeFile(QStringLiteral("forty.bin"), 1);
    ASSERT_TRUE(QFile(path).resize(kBody - framingOf(path)));

    uploadThroughButton(path);
    std::vector<BarState> expected = {{100, 0}, {kBody, 0}, {kBody, 32768}, {kBody, kBody}};
    expected.insert(expected.end(), c.afterSend.begin(), c.afterSend.end());
    EXPECT_EQ(m_bar, expected);
    EXPECT_EQ(m_form->ProgressBar1->value(),
              m_form->ProgressBar1->Max() == 0 ? 0 : m_form->ProgressBar1->Position());
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ProgressTest,
    ::testing::Values(
        BarCase{"found_without_body", test::reply(kFound, "Location: /upload/x\r\n"), {}},
        BarCase{"found_with_ten_bytes",
                test::reply(kFound, "Location: /upload/x\r\n", "0123456789"),
                {{40000, 0}, {10, 0}, {10, 10}}},
        BarCase{"read_until_close", "HTTP/1.0 200 OK\r\n\r\nabc", {{40000, 0}, {0, 0}, {0, 3}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, WindowStaysLiveThroughALongSend)
{
    // 50 MiB through a reader that takes 64 KiB every 4 ms: several seconds of sending.
    serveWith([](Peer& peer, int) {
        peer.readRequest(65536, 4ms);
        peer.writeAll(test::reply(kFound, "Location: /upload/big\r\n"));
    });
    m_form->show();
    const QString path = makeFile(QStringLiteral("big.bin"), 51199LL * 1024);
    answerDialogWith(path);

    QElapsedTimer clock;
    std::vector<qint64> ticks;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] { ticks.push_back(clock.elapsed()); });

    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            paints += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
    } counter;
    m_form->ProgressBar1->installEventFilter(&counter);

    QSignalSpy ended(m_form.get(), &TForm1::uploadEnded);
    clock.start();
    timer.start();
    m_form->sButton1->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }, 120s));
    const qint64 total = clock.elapsed();
    timer.stop();

    EXPECT_EQ(m_form->Edit1->text().toStdString(), linkPrefix() + "big");
    ASSERT_GT(total, 1000) << "the reader was not slow enough to tell anything";
    ASSERT_FALSE(ticks.empty());
    qint64 longest = ticks.front();
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        longest = std::max(longest, ticks[i] - ticks[i - 1]);
    }
    longest = std::max(longest, total - ticks.back());
    EXPECT_LT(longest, 500) << "the event loop stood still";
    EXPECT_GT(static_cast<qint64>(ticks.size()), total / 100);
    EXPECT_GT(counter.paints, 10) << "the bar was not repainted during the send";
    EXPECT_GT(m_bar.size(), 1000u);
}

TEST_F(MainWindowTest, NewFileSupersedesAHungUpload)
{
    std::atomic<bool> firstClosed{false};
    std::atomic<bool> secondBeforeFirstClosed{false};
    serveWith([&](Peer& peer, int index) {
        if (index == 0) {
            peer.readHead();
            peer.waitForClientClose();
            firstClosed = true;
            return;
        }
        secondBeforeFirstClosed = !firstClosed.load();
        peer.readRequest();
        peer.writeAll(test::reply(kFound, "Location: /upload/second\r\n"));
    });
    QSignalSpy ended(m_form.get(), &TForm1::uploadEnded);
    QSignalSpy linkChanges(m_form->Edit1, &QLineEdit::textChanged);

    answerDialogWith(makeFile(QStringLiteral("first.bin"), 4 * 1024 * 1024));
    m_form->sButton1->click();
    ASSERT_TRUE(waitFor([&] { return m_server->connections() == 1; }));
    QTest::qWait(200);
    EXPECT_TRUE(m_form->uploadRunning());

    // The dialog cancelled during the upload leaves it running.
    cancelDialog();
    m_form->sButton1->click();
    EXPECT_TRUE(m_form->uploadRunning());
    QTest::qWait(100);
    EXPECT_FALSE(firstClosed.load());

    answerDialogWith(makeFile(QStringLiteral("second.bin"), 2000));
    m_form->sButton1->click();
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    QTest::qWait(200);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(m_form->Edit1->text().toStdString(), linkPrefix() + "second");
    EXPECT_EQ(linkChanges.count(), 1);
    EXPECT_EQ(m_server->connections(), 2);
    EXPECT_TRUE(firstClosed.load());
    EXPECT_FALSE(secondBeforeFirstClosed.load()) << "two posts were under way at once";
    EXPECT_FALSE(m_form->uploadRunning());
}

TEST_F(MainWindowTest, ClosingCancelsTheUploadAndReportsTheClose)
{
    std::atomic<bool> clientClosed{false};
    serveWith([&](Peer& peer, int) {
        peer.readHead();
        clientClosed = peer.waitForClientClose();
    });
    answerDialogWith(makeFile(QStringLiteral("hung.bin"), 8 * 1024 * 1024));
    m_form->show();
    QSignalSpy closed(m_form.get(), &TForm1::closed);
    QSignalSpy ended(m_form.get(), &TForm1::uploadEnded);
    m_form->sButton1->click();
    ASSERT_TRUE(waitFor([&] { return m_server->connections() == 1; }));
    m_form->N4->trigger();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_TRUE(waitFor([&] { return clientClosed.load(); }, 2s));
    QTest::qWait(100);
    EXPECT_EQ(ended.count(), 0);
}

TEST_F(MainWindowTest, DropOfOneLocalFileUploadsIt)
{
    serve(test::reply(kFound, "Location: /upload/dropped\r\n"));
    const QString file = makeFile(QStringLiteral("drop.txt"), 2048);
    const QString other = makeFile(QStringLiteral("other.txt"), 2048);
    const QString folder = m_dir.filePath(QStringLiteral("dir"));
    ASSERT_TRUE(QDir().mkdir(folder));

    struct DragCase
    {
        const char* name;
        QList<QUrl> urls;
        bool accepted;
    };
    const DragCase cases[] = {
        {"one file", {QUrl::fromLocalFile(file)}, true},
        {"two files", {QUrl::fromLocalFile(file), QUrl::fromLocalFile(other)}, false},
        {"a folder", {QUrl::fromLocalFile(folder)}, false},
        {"a web address", {QUrl(QStringLiteral("http://example.invalid/a.txt"))}, false},
        {"nothing", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QMimeData data;
        data.setUrls(c.urls);
        QDragEnterEvent enter(QPoint(100, 70), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(m_form.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), c.accepted);
    }

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    QSignalSpy ended(m_form.get(), &TForm1::uploadEnded);
    QDropEvent drop(QPointF(100, 70), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_form.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(waitFor([&] { return ended.count() == 1; }));
    EXPECT_EQ(m_form->sLabel2->text(), QStringLiteral("2 кб"));
    EXPECT_EQ(m_form->Edit1->text().toStdString(), linkPrefix() + "dropped");
    EXPECT_FALSE(m_form->Edit1->acceptDrops());
}

TEST_F(MainWindowTest, DroppedEmptyFileIsRefusedLikeAChosenOne)
{
    serve(test::reply(kFound, "Location: /upload/x\r\n"));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(makeFile(QStringLiteral("empty.txt"), 0))});
    BoxAnswerer boxes;
    QDragEnterEvent enter(QPoint(100, 70), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_form.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(100, 70), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_form.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(waitFor([&] { return boxes.seen().size() == 1; }));
    EXPECT_EQ(boxes.seen().front().text, kRefusal);
    EXPECT_EQ(m_server->connections(), 0);
}

TEST_F(MainWindowTest, RightClickOutsideTheLinkBoxOpensTheWindowMenu)
{
    makeForm(9);
    m_form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    const std::pair<const char*, QWidget*> targets[] = {
        {"background", m_form.get()},
        {"label", m_form->sLabel1},
        {"button", m_form->sButton1},
        {"bar", m_form->ProgressBar1},
    };
    for (const auto& [name, widget] : targets) {
        SCOPED_TRACE(name);
        const QPoint at(3, 3);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
        QApplication::sendEvent(widget, &event);
        ASSERT_TRUE(waitFor([&] { return m_form->PopupMenu1->isVisible(); }, 2s));
        EXPECT_EQ(m_form->PopupMenu1->pos(), widget->mapToGlobal(at));
        m_form->PopupMenu1->hide();
    }

    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(3, 3),
                            m_form->Edit1->mapToGlobal(QPoint(3, 3)));
    QApplication::sendEvent(m_form->Edit1, &event);
    QMenu* editMenu = nullptr;
    ASSERT_TRUE(waitFor(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* menu = qobject_cast<QMenu*>(w);
                if (menu != nullptr && menu != m_form->PopupMenu1 && menu->isVisible()) {
                    editMenu = menu;
                }
            }
            return editMenu != nullptr;
        },
        2s));
    EXPECT_FALSE(m_form->PopupMenu1->isVisible());
    editMenu->close();
}

TEST_F(MainWindowTest, WindowCommands)
{
    makeForm(9);
    QWidget about;
    m_form->setAboutWindow(&about);
    m_form->show();
    QSignalSpy closed(m_form.get(), &TForm1::closed);

    m_form->N1->trigger();
    EXPECT_TRUE(about.isVisible());
    m_form->N2->trigger();
    EXPECT_FALSE(m_form->isVisible());
    m_form->N2->trigger();
    EXPECT_FALSE(m_form->isVisible());
    m_form->N3->trigger();
    EXPECT_TRUE(m_form->isVisible());

    m_form->showMinimized();
    ASSERT_TRUE(m_form->isMinimized());
    m_form->N3->trigger();
    EXPECT_FALSE(m_form->isMinimized());
    EXPECT_TRUE(m_form->isVisible());

    m_form->N2->trigger();
    m_form->N4->trigger();
    EXPECT_EQ(closed.count(), 1);
}

} // namespace
} // namespace tovelin
