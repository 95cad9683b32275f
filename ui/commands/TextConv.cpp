// Byte texts to Qt strings and back (UTF-8 when valid, else Latin-1).
#include "ui/commands/TextConv.h"

#include <QStringDecoder>

namespace qm::ui {

QString ToQ(const std::string& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!decoder.hasError()) return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string FromQ(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace qm::ui
