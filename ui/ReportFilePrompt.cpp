#include "ui/ReportFilePrompt.h"

#include <QFileDialog>
#include <QStringList>

#include "ui/commands/TextConv.h"

namespace qm {

bool TQtSaveFilePrompt::PromptSaveFile(const TSaveFileRequest& request, std::string& fileName) {
    QFileDialog dialog(parent_, ui::ToQ(request.Title), ui::ToQ(request.InitialFolder));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(ui::ToQ(request.Filter));
    dialog.setDefaultSuffix(ui::ToQ(request.DefaultSuffix));
    dialog.selectFile(ui::ToQ(request.DefaultName));
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return false;
    fileName = ui::FromQ(files.first());
    return true;
}

}  // namespace qm
