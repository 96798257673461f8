#pragma once

#include <QFont>

namespace tovelin {

// "MS Sans Serif" asked for by name at a pixel height. Where the face is missing, a
// sans-serif face with Cyrillic letters stands in at the same height.
QFont windowFont(int pixelHeight, bool bold = false);

} // namespace tovelin
