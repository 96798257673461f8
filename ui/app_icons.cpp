#include "ui/app_icons.h"

#include <QString>

// The pictures live in a static library, so their resource block is pulled in by hand; the
// macro declares a global function, so this helper stays outside any namespace.
static void ensureIconResources()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)loaded;
}

namespace {

QIcon iconFromResource(const char* name)
{
    ensureIconResources();
    return QIcon(QStringLiteral(":/icons/") + QString::fromLatin1(name));
}

} // namespace

namespace tovelin {

QIcon trayIconImage()
{
    return iconFromResource("tovelin-48.png");
}

QIcon windowIconImage()
{
    return iconFromResource("tovelin-128.png");
}

QIcon programIconImage()
{
    return iconFromResource("tovelin-256.png");
}

} // namespace tovelin
