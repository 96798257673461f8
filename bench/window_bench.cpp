// Figures for the window program:
// 1. start-up to the first paint of the real main window, beside a minimal Qt Widgets
//    program of the same shape, both started as fresh processes in the same run;
// 2. the longest stall of the event loop and the peak growth of the resident set while a
//    50 MiB file is uploaded to a loopback sink.
// Runs under whatever Qt platform is set; offscreen when none is.
#include "app/window_program.h"
#include "tests/ui/loopback_server.h"
#include "ui/Unit1.h"
#include "upload/endpoint.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

using namespace std::chrono_literals;

constexpr int kStartRounds = 15;
constexpr int kUploadRounds = 3;

// Prints "painted" once `window` has had its first paint, then ends the loop.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QWidget* window) { window->installEventFilter(this); }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, [] {
                std::puts("painted");
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    bool m_seen = false;
};

int runRealChild()
{
    const auto endpoint = tovelin::Endpoint::parse("http://127.0.0.1:9/upload/");
    std::optional<FirstPaint> watcher;
    return tovelin::runWindowProgram(
        *endpoint, [&](tovelin::TForm1& form, tovelin::TForm2&) { watcher.emplace(&form); });
}

int runMinimalChild()
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Tovelin"));
    window.setFixedSize(273, 81);
    (new QLineEdit(&window))->setGeometry(4, 4, 185, 21);
    (new QPushButton(QStringLiteral("Выбрать"), &window))->setGeometry(192, 4, 75, 21);
    (new QProgressBar(&window))->setGeometry(4, 36, 265, 17);
    (new QLabel(QStringLiteral("Размер файла:"), &window))->setGeometry(4, 60, 113, 16);
    (new QLabel(&window))->setGeometry(120, 60, 0, 16);
    FirstPaint watcher(&window);
    window.show();
    return QApplication::exec();
}

// Milliseconds from starting the child to its "painted" line.
std::optional<double> timeChild(const QString& self, const char* mode)
{
    QProcess child;
    QElapsedTimer clock;
    clock.start();
    child.start(self, {QStringLiteral("--child"), QString::fromLatin1(mode)});
    while (!child.canReadLine()) {
        if (!child.waitForReadyRead(10000)) {
            return std::nullopt;
        }
    }
    const double took = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    child.waitForFinished(10000);
    return took;
}

// Hands the file to the window as a drop, the way that skips the file dialog.
void dropFile(tovelin::TForm1& form, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(100, 70), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    QDropEvent drop(QPointF(100, 70), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &drop);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long residentKib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

void benchStartUp(const QString& self)
{
    std::vector<double> real;
    std::vector<double> minimal;
    for (int round = 0; round < kStartRounds; ++round) {
        const auto a = timeChild(self, "real");
        const auto b = timeChild(self, "minimal");
        if (!a || !b) {
            std::puts("start-up: a child did not paint");
            return;
        }
        real.push_back(*a);
        minimal.push_back(*b);
    }
    const double realMedian = median(real);
    const double minimalMedian = median(minimal);
    std::printf("start-up to first paint, median of %d: window program %.1f ms, minimal "
                "program %.1f ms, ratio %.2f (aim: at most 1.30)\n",
                kStartRounds, realMedian, minimalMedian, realMedian / minimalMedian);
}

void benchUpload()
{
    tovelin::test::LoopbackServer sink([](tovelin::test::Peer& peer, int) {
        peer.readRequest(1 << 20);
        peer.writeAll(tovelin::test::reply("HTTP/1.1 302 Found", "Location: /upload/x\r\n"));
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.bin"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !file.resize(51199LL * 1024)) {
            std::puts("upload: cannot make the file");
            return;
        }
    }
    tovelin::TForm1 form(
        *tovelin::Endpoint::parse("http://127.0.0.1:" + std::to_string(sink.port()) + "/upload/"));
    form.show();
    QTest::qWait(200);

    for (int round = 0; round < kUploadRounds; ++round) {
        QSignalSpy ended(&form, &tovelin::TForm1::uploadEnded);
        const long baseline = residentKib();
        long peak = baseline;
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 longest = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
            peak = std::max(peak, residentKib());
        });
        clock.start();
        tick.start();
        // A plain event loop, as the program runs it, until the outcome is in.
        QEventLoop loop;
        QObject::connect(&form, &tovelin::TForm1::uploadEnded, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        QTimer::singleShot(0, &form, [&] { dropFile(form, path); });
        loop.exec();
        if (ended.count() != 1) {
            std::puts("upload: no outcome");
            return;
        }
        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        tick.stop();
        std::printf("upload of 50 MiB to a loopback sink, round %d: %.2f s, longest event-loop "
                    "stall %.1f ms (aim: 20), peak resident growth %.2f MiB (aim: 2)\n",
                    round + 1, seconds, static_cast<double>(longest) / 1e6,
                    static_cast<double>(peak - baseline) / 1024.0);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("--child")) {
        return args[2] == QStringLiteral("real") ? runRealChild() : runMinimalChild();
    }
    benchStartUp(QCoreApplication::applicationFilePath());
    benchUpload();
    return 0;
}
