#pragma once

#include <exception>
#include <utility>

#include <QString>

namespace tovelin {

// The text the failure box shows: the message, with "." appended when it is not empty
// and its last character sorts after ".".
QString failureBoxText(const QString& message);

// The program's default failure handler: the message box with the error icon. Returns
// when the user closed it; the program goes on.
void showFailureBox(const QString& message);

// Runs one event handler's body. A failure escaping it ends in the failure box and the
// program goes on; every handler of the windows is run through here.
template <typename Body> void runHandler(Body&& body)
{
    try {
        std::forward<Body>(body)();
    } catch (const std::exception& failure) {
        showFailureBox(QString::fromUtf8(failure.what()));
    }
}

} // namespace tovelin
