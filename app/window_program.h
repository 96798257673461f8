#pragma once

#include "upload/endpoint.h"

#include <functional>

namespace tovelin {

class TForm1;
class TForm2;

// Brings up the window program on the running QApplication and runs its loop: the
// application title, the main window, the hidden About window, then the loop, which ends
// when the main window is closed. beforeLoop, when set, runs once both windows exist and
// the main window is shown; tests use it to drive the real program.
int runWindowProgram(const Endpoint& endpoint,
                     const std::function<void(TForm1&, TForm2&)>& beforeLoop = {});

} // namespace tovelin
