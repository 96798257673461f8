#include "ui/tray_icon.h"

#include "ui/app_icons.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>

namespace tovelin {

namespace {

constexpr int kNotificationMs = 10000;

// On an X11 tray the toolkit draws the icon in a small widget of its own, recreated when
// the tray host comes back, and reports the right button on press. The menu must open
// on release, so the icon's mouse events are taken before they reach that widget.
bool isEmbeddedIcon(QObject* object)
{
    return object->isWidgetType() && object->inherits("QSystemTrayIconSys");
}

} // namespace

TrayIcon::TrayIcon(QMenu* menu, QObject* parent) : QSystemTrayIcon(parent), m_menu(menu)
{
    setObjectName(QStringLiteral("TrayIcon1"));
    setIcon(trayIconImage());
    qApp->installEventFilter(this);
    // Trays that report clicks as messages (not through the widget above) ask for the
    // menu this way; on the embedded icon the filter has already swallowed the press.
    connect(this, &QSystemTrayIcon::activated, this, [this](ActivationReason reason) {
        if (reason == Context)
            openMenu();
    });
    show();
}

void TrayIcon::notifyOutcome(const QString& text)
{
    showMessage(QStringLiteral("Tovelin"), text, trayIconImage(), kNotificationMs);
    emit outcomeNotified(text);
}

void TrayIcon::openMenu()
{
    if (m_menu == nullptr)
        return;
    m_menu->popup(QCursor::pos());
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return isEmbeddedIcon(watched);
    case QEvent::MouseButtonRelease:
        if (!isEmbeddedIcon(watched))
            return false;
        if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
            openMenu();
        return true;
    default:
        return false;
    }
}

} // namespace tovelin
