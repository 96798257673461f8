#include "app/window_program.h"

#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/app_icons.h"

#include <memory>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

namespace tovelin {

namespace {

void centreOnScreen(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        return;
    }
    window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(),
                                           screen->availableGeometry()));
}

} // namespace

int runWindowProgram(const Endpoint& endpoint,
                     const std::function<void(TForm1&, TForm2&)>& beforeLoop)
{
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tovelin"));
    QGuiApplication::setWindowIcon(programIconImage());
    // Only closing the main window ends the program; closing the About window while the
    // main window is hidden must not.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    const auto Form1 = std::make_unique<TForm1>(endpoint);
    const auto Form2 = std::make_unique<TForm2>();
    Form1->setAboutWindow(Form2.get());
    // exit() rather than quit(): no other window may veto the end, and a dialog open at
    // that moment closes with it.
    QObject::connect(
        Form1.get(), &TForm1::closed, qApp, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);

    centreOnScreen(*Form1);
    Form1->show();
    if (beforeLoop) {
        beforeLoop(*Form1, *Form2);
    }
    return QApplication::exec();
}

} // namespace tovelin
