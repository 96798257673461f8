#include "ui/Unit1.h"

#include "ui/app_icons.h"
#include "ui/failure_box.h"
#include "ui/message_box.h"
#include "ui/progress_gauge.h"
#include "ui/taskbar_group.h"
#include "ui/tray_icon.h"
#include "ui/upload_runner.h"
#include "ui/window_font.h"
#include "upload/form_data_body.h"
#include "upload/size_check.h"
#include "upload/upload_outcome.h"

#include <algorithm>
#include <limits>
#include <string>

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QPalette>
#include <QPushButton>
#include <QUrl>

namespace tovelin {

namespace {

constexpr int kClientWidth = 273;
constexpr int kClientHeight = 81;
constexpr int kSizeLabelHeight = 16;

// Bodies stay far below 2 GiB; a count that would not fit still must not wrap.
int toBarValue(std::int64_t count)
{
    return static_cast<int>(std::clamp<std::int64_t>(count, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

void setTextColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, const QRect& rect)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(rect);
    label->setFont(windowFont(13, true));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(label, QPalette::WindowText, Qt::black);
    return label;
}

} // namespace

TForm1::TForm1(const Endpoint& endpoint, ExchangeLimits limits, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      IdHTTP1(std::make_shared<HttpClient>(endpoint, limits))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tovelin"));
    setWindowIcon(windowIconImage());
    setFont(windowFont(11));
    setFixedSize(kClientWidth, kClientHeight);
    setAcceptDrops(true);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(4, 4, 185, 21);
    Edit1->setFont(windowFont(11));
    setTextColour(Edit1, QPalette::Text, Qt::black);
    setTextColour(Edit1, QPalette::Base, Qt::white);
    // Files dropped on the link box go to the window, which uploads them.
    Edit1->setAcceptDrops(false);

    sButton1 = new QPushButton(QStringLiteral("Выбрать"), this);
    sButton1->setObjectName(QStringLiteral("sButton1"));
    sButton1->setGeometry(192, 4, 75, 21);

    ProgressBar1 = new ProgressGauge(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(4, 36, 265, 17);
    ProgressBar1->setFocusPolicy(Qt::NoFocus);

    sLabel1 = makeLabel(this, "sLabel1", QStringLiteral("Размер файла:"), QRect(4, 60, 113, 16));
    sLabel2 = makeLabel(this, "sLabel2", QString(), QRect(120, 60, 0, kSizeLabelHeight));

    setTabOrder(Edit1, sButton1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const auto addItem = [this](const char* name, const QString& caption,
                                void (TForm1::*handler)()) {
        QAction* item = PopupMenu1->addAction(caption);
        item->setObjectName(QString::fromLatin1(name));
        connect(item, &QAction::triggered, this,
                [this, handler] { runHandler([&] { (this->*handler)(); }); });
        return item;
    };
    N1 = addItem("N1", QStringLiteral("О программе"), &TForm1::N1Click);
    N2 = addItem("N2", QStringLiteral("Свернуть"), &TForm1::N2Click);
    N3 = addItem("N3", QStringLiteral("Развернуть"), &TForm1::N3Click);
    N4 = addItem("N4", QStringLiteral("Выход"), &TForm1::N4Click);

    TrayIcon1 = new TrayIcon(PopupMenu1, this);
    connect(TrayIcon1, &QSystemTrayIcon::messageClicked, this, [this] { N3Click(); });

    // Right-clicks on the background, the labels, the button and the bar reach the window;
    // the link box answers them itself with its edit menu.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(mapToGlobal(at)); });

    connect(sButton1, &QPushButton::clicked, this,
            [this] { runHandler([this] { sButton1Click(); }); });

    m_uploads = new UploadRunner(
        IdHTTP1,
        {[this](TWorkMode mode, std::int64_t countMax) { IdHTTP1WorkBegin(mode, countMax); },
         [this](TWorkMode mode, std::int64_t count) { IdHTTP1Work(mode, count); },
         [this](const PostResult& result, const ReplyState& reply) {
             showOutcome(result, reply);
         }},
        this);
}

TForm1::~TForm1()
{
    // Before the components go: the runner's handlers write into them.
    delete m_uploads;
}

bool TForm1::uploadRunning() const
{
    return m_uploads->busy();
}

void TForm1::sButton1Click()
{
    const auto path = OpenDialog1.execute(this);
    if (!path) {
        return;
    }
    uploadFile(*path);
}

void TForm1::uploadFile(const QString& path)
{
    const std::string file = QFile::encodeName(path).toStdString();
    const std::int64_t bytes = fileByteSize(file);
    if (!isAcceptedSize(bytes)) {
        showMessageBox(QMessageBox::NoIcon, QStringLiteral("Недопустимый размер файла"));
        return;
    }
    sLabel2->setText(
        QString::fromStdString(sizeText(bytes, QLocale().decimalPoint().toStdString())));
    sLabel2->resize(sLabel2->sizeHint().width(), kSizeLabelHeight);

    auto body = std::make_unique<FormDataBody>();
    body->addFilePart("file", file, "application/octet-stream");
    m_uploads->start(std::move(body));
}

void TForm1::IdHTTP1WorkBegin(TWorkMode /*workMode*/, std::int64_t workCountMax)
{
    ProgressBar1->setPosition(0);
    ProgressBar1->setMax(toBarValue(workCountMax));
}

void TForm1::IdHTTP1Work(TWorkMode /*workMode*/, std::int64_t workCount)
{
    ProgressBar1->setPosition(toBarValue(workCount));
}

void TForm1::showOutcome(const PostResult& result, const ReplyState& reply)
{
    const auto text = linkBoxText(result, reply, IdHTTP1->endpoint().linkPrefix());
    if (text) {
        Edit1->setText(QString::fromStdString(*text));
        // A link longer than the box shows from its start.
        Edit1->setCursorPosition(0);
        if (!isVisible()) {
            TrayIcon1->notifyOutcome(Edit1->text());
        }
    }
    emit uploadEnded();
}

void TForm1::setAboutWindow(QWidget* aboutWindow)
{
    m_aboutWindow = aboutWindow;
    new TaskbarGroup(this, aboutWindow, this);
}

void TForm1::N1Click()
{
    if (m_aboutWindow == nullptr) {
        return;
    }
    m_aboutWindow->show();
    m_aboutWindow->raise();
    m_aboutWindow->activateWindow();
}

void TForm1::N2Click()
{
    const bool wasActive = isActiveWindow();
    hide();
    // The focus goes to the program's other window rather than to whatever lies behind.
    if (wasActive && m_aboutWindow != nullptr && m_aboutWindow->isVisible()) {
        m_aboutWindow->activateWindow();
    }
}

void TForm1::N3Click()
{
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    show();
    raise();
    activateWindow();
}

void TForm1::N4Click()
{
    close();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Ends the program at once, whatever the host is doing.
    m_uploads->cancelAll();
    event->accept();
    emit closed();
}

std::optional<QString> TForm1::droppedFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls()) {
        return std::nullopt;
    }
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) {
        return std::nullopt;
    }
    const QString path = urls.front().toLocalFile();
    if (path.isEmpty() || QFileInfo(path).isDir()) {
        return std::nullopt;
    }
    return path;
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedFile(event->mimeData())) {
        event->acceptProposedAction();
    }
}

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    if (droppedFile(event->mimeData())) {
        event->acceptProposedAction();
    }
}

void TForm1::dropEvent(QDropEvent* event)
{
    const auto path = droppedFile(event->mimeData());
    if (!path) {
        return;
    }
    event->acceptProposedAction();
    // The drag source waits for the drop to finish: boxes open only after it has.
    QMetaObject::invokeMethod(
        this, [this, file = *path] { runHandler([&] { uploadFile(file); }); },
        Qt::QueuedConnection);
}

} // namespace tovelin
