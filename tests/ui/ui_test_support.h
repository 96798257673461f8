#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include <QMessageBox>
#include <QRect>
#include <QString>
#include <QTimer>

namespace tovelin::test {

// A message box as it stood on the screen, seen by BoxAnswerer.
struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    Qt::WindowModality modality = Qt::NonModal;
    QRect geometry;
};

// Closes every modal message box the program opens with its first button, noting what
// each showed. Lives on the GUI thread and looks every 10 ms, also inside nested loops.
class BoxAnswerer
{
public:
    BoxAnswerer();
    const std::vector<SeenBox>& seen() const { return m_seen; }

private:
    void look();

    QTimer m_timer;
    std::vector<SeenBox> m_seen;
};

// Runs the event loop until `done` holds or the time is up.
bool waitFor(const std::function<bool()>& done,
             std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

} // namespace tovelin::test
