#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

namespace tovelin {

// Makes the main window and the About window act as one program on an X11 desktop:
// one taskbar entry while either is shown (the main window's, or the About window's
// while the main window is hidden), none while both are hidden; and the About window
// leaves and returns with the main window when that is minimized (it is transient for
// it). Elsewhere it does nothing.
class TaskbarGroup : public QObject
{
    Q_OBJECT

public:
    TaskbarGroup(QWidget* mainWindow, QWidget* aboutWindow, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void aboutShowing();
    void mainShowing();
    void mainHidden();

    QPointer<QWidget> m_main;
    QPointer<QWidget> m_about;
    bool m_relinkPending = false;
};

} // namespace tovelin
