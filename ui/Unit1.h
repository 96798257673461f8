#pragma once

#include "ui/open_file_dialog.h"
#include "upload/endpoint.h"
#include "upload/http_client.h"
#include "upload/work_events.h"

#include <cstdint>
#include <memory>
#include <optional>

#include <QString>
#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QPushButton;

namespace tovelin {

class ProgressGauge;
class TrayIcon;
class UploadRunner;
struct PostResult;
struct ReplyState;

// The main window: the link box, the choose button, the progress bar and the size
// read-out, with the upload command behind the button.
//
// For tests, every component is public and three seams let them drive the real window:
// - the endpoint and the exchange limits are constructor arguments (a loopback server);
// - OpenDialog1.setRunner() replaces the modal run of the open-file dialog: the runner
//   receives the real, configured QFileDialog and returns the path to use, or nothing for
//   a cancel, e.g. OpenDialog1.setRunner([&](QFileDialog&) { return path; });
// - uploadEnded() is emitted once the outcome of an upload has been applied (never for a
//   superseded or cancelled one), and uploadRunning() tells whether one is under way.
// A failure inside a handler shows the program's failure box, a refused size the
// size box: both are application-modal QMessageBoxes a test can find and close.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm1(const Endpoint& endpoint, ExchangeLimits limits = {},
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // The About window, shown by N1Click; it shares the main window's taskbar entry.
    void setAboutWindow(QWidget* aboutWindow);

    bool uploadRunning() const;

    QLineEdit* Edit1 = nullptr;
    QPushButton* sButton1 = nullptr;
    ProgressGauge* ProgressBar1 = nullptr;
    QLabel* sLabel1 = nullptr;
    QLabel* sLabel2 = nullptr;
    OpenFileDialog OpenDialog1;
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    TrayIcon* TrayIcon1 = nullptr;
    std::shared_ptr<HttpClient> IdHTTP1;

public slots:
    // The upload command: choose a file, check its size, upload it. Throws the open
    // failure; the button runs it through the failure box.
    void sButton1Click();
    void IdHTTP1WorkBegin(tovelin::TWorkMode workMode, std::int64_t workCountMax);
    void IdHTTP1Work(tovelin::TWorkMode workMode, std::int64_t workCount);
    void N1Click();
    void N2Click();
    void N3Click();
    void N4Click();

signals:
    // The window was closed; the program ends.
    void closed();
    void uploadEnded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The command from the size check on, for a path chosen in the dialog or dropped.
    void uploadFile(const QString& path);
    void showOutcome(const PostResult& result, const ReplyState& reply);
    static std::optional<QString> droppedFile(const QMimeData* data);

    UploadRunner* m_uploads = nullptr;
    QWidget* m_aboutWindow = nullptr;
};

} // namespace tovelin
