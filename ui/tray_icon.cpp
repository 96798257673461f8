#include "ui/tray_icon.h"

#include "ui/app_icons.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

namespace tovelin {

namespace {

constexpr int kNotificationMs = 10000;
// The X11 backend settles the focus a fraction of a second after the focused window went;
// should no word of it come, the menu opens after this anyway.
constexpr int kFocusSettleMs = 1500;

// On an X11 tray the toolkit draws the icon in a small widget of its own, recreated when
// the tray host comes back, and reports the right button on press. The menu must open
// on release, so the icon's mouse events are taken before they reach that widget.
bool isEmbeddedIcon(QObject* object)
{
    return object->isWidgetType() && object->inherits("QSystemTrayIconSys");
}

} // namespace

TrayIcon::TrayIcon(QMenu* menu, QObject* parent)
    : QSystemTrayIcon(parent), m_menu(menu), m_focusSettle(new QTimer(this))
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
    m_focusSettle->setSingleShot(true);
    m_focusSettle->setInterval(kFocusSettleMs);
    connect(m_focusSettle, &QTimer::timeout, this, &TrayIcon::openPendingMenu);
    // Queued: the toolkit closes open menus in the middle of the focus change.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &TrayIcon::openPendingMenu,
            Qt::QueuedConnection);
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
    const QPoint at = QCursor::pos();
    // Right after the focused window was hidden (the menu's own "Свернуть"), the program
    // still counts as active; when the toolkit learns that it no longer is, it closes every
    // open menu, and one opened in between would vanish at once. So it opens once the focus
    // has gone elsewhere.
    const QWindow* focus = QGuiApplication::focusWindow();
    if (focus != nullptr && !focus->isVisible()) {
        m_pendingAt = at;
        if (!m_menuPending) {
            m_menuPending = true;
            m_focusSettle->start();
        }
        return;
    }
    m_menuPending = false;
    m_menu->popup(at);
}

void TrayIcon::openPendingMenu()
{
    if (!m_menuPending)
        return;
    m_menuPending = false;
    m_focusSettle->stop();
    if (m_menu != nullptr)
        m_menu->popup(m_pendingAt);
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
