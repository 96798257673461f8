#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace tovelin {

// The upload command's open-file dialog: its file types, the preselected type and the
// path chosen last, from which the next opening starts. A fresh dialog is built for each
// opening, so nothing heavy is made before the user asks for it.
class OpenFileDialog
{
public:
    // Shows the configured dialog and returns the chosen path, or nothing when cancelled.
    using Runner = std::function<std::optional<QString>(QFileDialog&)>;

    OpenFileDialog();

    // Opens the dialog; a chosen path is remembered, even one that is later refused.
    std::optional<QString> execute(QWidget* parent);

    // Replaces the modal run, so a test can inspect the real dialog and answer it.
    void setRunner(Runner runner) { m_runner = std::move(runner); }

    static QStringList nameFilters();
    static QString preselectedFilter();
    QString fileName() const { return m_fileName; }

private:
    Runner m_runner;
    QString m_fileName;
};

} // namespace tovelin
