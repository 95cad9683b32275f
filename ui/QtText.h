#pragma once
// Texts cross into Qt at this edge only. The program holds bytes; a text shows as UTF-8
// when its bytes are valid UTF-8, else as Latin-1, so that no byte is lost or replaced.
// What the user types comes back as UTF-8.
#include <QString>
#include <string>

namespace qm {

QString ToQString(const std::string& bytes);
std::string ToStdString(const QString& text);

}  // namespace qm
