#include "ui/message_box.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace tovelin {

void showMessageBox(QMessageBox::Icon icon, const QString& text)
{
    const QPointer<QWidget> focused = QApplication::focusWidget();
    const QPointer<QWidget> active = QApplication::activeWindow();

    // Owned by the active window so the window manager keeps it with the program and gives
    // it no taskbar entry of its own; placed by hand, since Qt would centre it on its owner.
    QMessageBox box(icon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    active.data());
    box.setWindowModality(Qt::ApplicationModal);
    box.adjustSize();
    QScreen* screen = active ? active->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        box.move(screen->availableGeometry().center() - box.rect().center());
    }
    box.exec();

    // Asked of the window system directly: the closed box may still count as the focus
    // window, and then activateWindow() would take the owner as active already.
    if (active && active->isVisible() && active->windowHandle() != nullptr) {
        active->windowHandle()->requestActivate();
    }
    if (focused && focused->isVisible()) {
        focused->setFocus(Qt::OtherFocusReason);
    }
}

} // namespace tovelin
