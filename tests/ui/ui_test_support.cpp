#include "tests/ui/ui_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

namespace tovelin::test {

BoxAnswerer::BoxAnswerer()
{
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
    m_timer.start();
}

void BoxAnswerer::look()
{
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
        return;
    }
    SeenBox seen;
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton* button : box->buttons()) {
        seen.buttons << button->text();
    }
    seen.modality = box->windowModality();
    seen.geometry = box->geometry();
    m_seen.push_back(seen);
    box->buttons().constFirst()->click();
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    return QTest::qWaitFor(done, static_cast<int>(timeout.count()));
}

} // namespace tovelin::test
