#pragma once

#include <functional>

#include <QUrl>
#include <QWidget>

class QLabel;

namespace tovelin {

// The About window: names the author and links to the website. Created hidden at
// start-up and kept for the whole run; closing it only hides it.
class TForm2 : public QWidget
{
    Q_OBJECT

public:
    // Receives the website address on a double click of the link; its result is ignored.
    using UrlOpener = std::function<void(const QUrl&)>;

    explicit TForm2(QWidget* parent = nullptr);

    // Replaces the desktop's browser opener, so a test can see what would be opened.
    void setUrlOpener(UrlOpener opener);
    QUrl websiteUrl() const { return m_websiteUrl; }

    void setVisible(bool visible) override;

    QLabel* sLabel1 = nullptr;
    QLabel* sLabel2 = nullptr;
    QLabel* Label1 = nullptr;

public slots:
    void Label1DblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QUrl m_websiteUrl;
    UrlOpener m_urlOpener;
    bool m_placed = false;
};

} // namespace tovelin
