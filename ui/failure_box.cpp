#include "ui/failure_box.h"

#include "ui/message_box.h"

namespace tovelin {

QString failureBoxText(const QString& message)
{
    if (message.isEmpty()) {
        return message;
    }
    const char32_t last = message.toUcs4().back();
    return last > U'.' ? message + QLatin1Char('.') : message;
}

void showFailureBox(const QString& message)
{
    showMessageBox(QMessageBox::Critical, failureBoxText(message));
}

} // namespace tovelin
