#include "ui/Unit2.h"

#include "ui/window_font.h"

#include <algorithm>

#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>

#ifndef TOVELIN_ABOUT_URL
#error "TOVELIN_ABOUT_URL names the website the link opens (a CMake cache variable)"
#endif

namespace tovelin {

namespace {

QFont underlined(QFont font)
{
    font.setUnderline(true);
    return font;
}

QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& rect, const QFont& font)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    // The labels size themselves to their text: where a wider face stands in for the
    // named one, the text still shows whole.
    label->setGeometry(rect.x(), rect.y(), std::max(rect.width(), label->sizeHint().width()),
                       rect.height());
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

} // namespace

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      m_websiteUrl(QUrl(QStringLiteral(TOVELIN_ABOUT_URL))),
      m_urlOpener([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QString());
    setFixedSize(404, 108);
    setFont(windowFont(11, false));
    // Closing this window must never end the program, even while the main window is hidden.
    setAttribute(Qt::WA_QuitOnClose, false);

    sLabel1 = makeLabel(this, QStringLiteral("Программа разработана Tarn'om"),
                        QRect(60, 20, 279, 20), windowFont(16, true));
    sLabel1->setObjectName(QStringLiteral("sLabel1"));
    sLabel2 = makeLabel(this, QStringLiteral("Подробно о программе можно узнать на сайте"),
                        QRect(28, 52, 349, 16), windowFont(13, true));
    sLabel2->setObjectName(QStringLiteral("sLabel2"));
    Label1 = makeLabel(this, QStringLiteral("Ляпинора"), QRect(120, 80, 164, 20),
                       underlined(windowFont(16, true)));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->installEventFilter(this);
}

void TForm2::setUrlOpener(UrlOpener opener)
{
    m_urlOpener = std::move(opener);
}

void TForm2::setVisible(bool visible)
{
    // Centred on the first showing only; afterwards it reappears where it last stood.
    if (visible && !m_placed) {
        m_placed = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            // The frame's size is not known before the first showing: the client area is
            // what gets centred.
            QRect client(QPoint(0, 0), size());
            client.moveCenter(screen->availableGeometry().center());
            setGeometry(client);
        }
    }
    QWidget::setVisible(visible);
}

void TForm2::Label1DblClick()
{
    if (m_urlOpener)
        m_urlOpener(m_websiteUrl);
}

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label1 && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label1DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tovelin
