#include "ui/QtText.h"

#include <QStringDecoder>

namespace qm {

QString ToQString(const std::string& bytes) {
    // Stateless, and a leading byte-order mark is kept as a character: the text is the
    // bytes, nothing dropped.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

std::string ToStdString(const QString& text) { return text.toStdString(); }

}  // namespace qm
