#pragma once

#include <QPoint>
#include <QSystemTrayIcon>

class QMenu;
class QTimer;

namespace tovelin {

// The program's notification-area icon: its picture, no hover text; releasing the right
// button over it opens the window commands' menu at the pointer. Clicks and double
// clicks do nothing. The icon returns by itself when the tray host is restarted.
class TrayIcon : public QSystemTrayIcon
{
    Q_OBJECT

public:
    explicit TrayIcon(QMenu* menu, QObject* parent = nullptr);

    // Tells the outcome of an upload that ended while no window showed it.
    void notifyOutcome(const QString& text);

    // The menu at the pointer, as on a right-button release over the icon.
    void openMenu();

signals:
    void outcomeNotified(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openPendingMenu();

    QMenu* m_menu;
    // Where a menu asked for while the program was losing the focus is to open.
    QPoint m_pendingAt;
    bool m_menuPending = false;
    QTimer* m_focusSettle;
};

} // namespace tovelin
