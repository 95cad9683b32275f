#pragma once
// Texts are bytes inside the program; the windows show them as UTF-8 when they are
// valid UTF-8, else as Latin-1, and give typed text back as UTF-8.
#include <QString>
#include <string>

namespace qm::ui {

QString ToQ(const std::string& bytes);
std::string FromQ(const QString& text);

}  // namespace qm::ui
