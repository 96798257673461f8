#pragma once

#include <QIcon>

namespace tovelin {

// The program's pictures, one upload glyph at three sizes: the tray icon (48 × 48),
// the windows' icon (128 × 128) and the program file's icon (256 × 256).
QIcon trayIconImage();
QIcon windowIconImage();
QIcon programIconImage();

} // namespace tovelin
