#include "ui/open_file_dialog.h"

#include <QFileDialog>

namespace tovelin {

namespace {

std::optional<QString> runModal(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace

OpenFileDialog::OpenFileDialog() : m_runner(runModal) {}

QStringList OpenFileDialog::nameFilters()
{
    // "*" rather than "*.*": on this system a name without a dot is a file like any other.
    return {QStringLiteral("txt (*.txt)"), QStringLiteral("rar (*.rar)"),
            QStringLiteral("zip (*.zip)"), QStringLiteral("exe (*.exe)"),
            QStringLiteral("All files (*)")};
}

QString OpenFileDialog::preselectedFilter()
{
    return nameFilters().constLast();
}

std::optional<QString> OpenFileDialog::execute(QWidget* parent)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // One name; a name that does not exist may be typed and is returned as it stands.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(nameFilters());
    dialog.selectNameFilter(preselectedFilter());
    if (!m_fileName.isEmpty()) {
        dialog.selectFile(m_fileName);
    }

    auto chosen = m_runner(dialog);
    if (chosen && !chosen->isEmpty()) {
        m_fileName = *chosen;
        return chosen;
    }
    return std::nullopt;
}

} // namespace tovelin
