#include "ui/window_font.h"

#include <QStringList>

namespace tovelin {

namespace {

const QString kFaceName = QStringLiteral("MS Sans Serif");

void installSubstitutes()
{
    static const bool installed = [] {
        QFont::insertSubstitutions(
            kFaceName, {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
        return true;
    }();
    (void)installed;
}

} // namespace

QFont windowFont(int pixelHeight, bool bold)
{
    installSubstitutes();
    QFont font(kFaceName);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

} // namespace tovelin
