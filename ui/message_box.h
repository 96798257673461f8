#pragma once

#include <QMessageBox>
#include <QString>

namespace tovelin {

// An application-modal box titled with the application's name, with one OK button,
// centred on the screen. Returns when the user closed it; the focus goes back to the
// widget that had it.
void showMessageBox(QMessageBox::Icon icon, const QString& text);

} // namespace tovelin
