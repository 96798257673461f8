// Runs the real window program against a loopback host, starts an upload of the given file
// and, once the body is on its way, closes the main window by the path named: "close"
// (the window's close button) or "exit" (the menu's exit command). It prints "closing"
// just before, so the caller can time the way to the process's end.
#include "app/window_program.h"
#include "ui/Unit1.h"
#include "ui/progress_gauge.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 4) {
        std::fputs("usage: shutdown_probe PORT FILE close|exit\n", stderr);
        return 2;
    }
    const auto endpoint =
        tovelin::Endpoint::parse(std::string("http://127.0.0.1:") + argv[1] + "/upload/");
    const QString file = QString::fromLocal8Bit(argv[2]);
    const bool byMenu = std::string(argv[3]) == "exit";

    return tovelin::runWindowProgram(*endpoint, [&](tovelin::TForm1& form, tovelin::TForm2&) {
        form.OpenDialog1.setRunner([file](QFileDialog&) -> std::optional<QString> { return file; });
        QTimer::singleShot(0, &form, [&form] { form.sButton1->click(); });
        auto* watch = new QTimer(&form);
        QObject::connect(watch, &QTimer::timeout, &form, [&form, watch, byMenu] {
            // The body is being sent once the bar's range is the body's length.
            if (form.ProgressBar1->Max() <= 100 || form.ProgressBar1->Position() == 0) {
                return;
            }
            watch->stop();
            QTimer::singleShot(200, &form, [&form, byMenu] {
                std::puts("closing");
                std::fflush(stdout);
                if (byMenu) {
                    form.N4->trigger();
                } else {
                    form.close();
                }
            });
        });
        watch->start(10);
    });
}
