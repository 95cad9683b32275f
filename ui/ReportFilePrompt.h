#pragma once
// The save dialog of the report and export commands: the prompt as a file dialog.
#include <string>

#include "ui/commands/SaveFilePrompt.h"

class QWidget;

namespace qm {

// The prompt as a QFileDialog in save mode.
class TQtSaveFilePrompt : public ISaveFilePrompt {
public:
    explicit TQtSaveFilePrompt(QWidget* parent) : parent_(parent) {}
    bool PromptSaveFile(const TSaveFileRequest& request, std::string& fileName) override;

private:
    QWidget* parent_;
};

}  // namespace qm
