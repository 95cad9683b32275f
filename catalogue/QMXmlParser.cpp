#include "catalogue/QMXmlParser.h"

#include <cctype>

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include "archive/stringsTools.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace qm {

namespace {

std::string ToBytes(QStringView text) { return text.toString().toUtf8().toStdString(); }

bool IsReference(const std::string& s, size_t amp) {
    size_t j = amp + 1;
    if (j < s.size() && s[j] == '#') {
        ++j;
        const bool hex = j < s.size() && s[j] == 'x';
        if (hex) ++j;
        const size_t digits = j;
        while (j < s.size() && (std::isdigit(static_cast<unsigned char>(s[j])) ||
                                (hex && std::isxdigit(static_cast<unsigned char>(s[j])))))
            ++j;
        return j > digits && j < s.size() && s[j] == ';';
    }
    for (const char* name : {"amp;", "lt;", "gt;", "quot;", "apos;"})
        if (s.compare(j, std::char_traits<char>::length(name), name) == 0) return true;
    return false;
}

// Hand-written files often hold a bare "&" in a url ("...?a=1&b=2"); it is read as the
// character it stands for instead of failing the whole file.
std::string EscapeStrayAmpersands(const std::string& in) {
    std::string out;
    out.reserve(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '&' && !IsReference(in, i))
            out += "&amp;";
        else
            out.push_back(in[i]);
    }
    return out;
}

bool DeclaresEncoding(const std::string& bytes) {
    if (bytes.compare(0, 5, "<?xml") != 0) return false;
    const auto end = bytes.find("?>");
    return bytes.substr(0, end).find("encoding") != std::string::npos;
}

// The value of the first attribute of that name, in any case; empty when absent.
std::string Attribute(const QXmlStreamAttributes& attributes, const char* name) {
    const QLatin1String wanted(name);
    for (const auto& a : attributes)
        if (a.name().compare(wanted, Qt::CaseInsensitive) == 0) return ToBytes(a.value());
    return {};
}

bool HasAttribute(const QXmlStreamAttributes& attributes, const char* name) {
    const QLatin1String wanted(name);
    for (const auto& a : attributes)
        if (a.name().compare(wanted, Qt::CaseInsensitive) == 0) return true;
    return false;
}

}  // namespace

void TQmXmlConfigParser::SetConfigXmlFileName(const std::string& fileName) {
    Infos.Clear();
    configXmlFileName_ = fileName;
    emulatorRefName_.clear();
}

void TQmXmlConfigParser::SetEmulatorRefName(const std::string& name) {
    Infos.Clear();
    emulatorRefName_ = name;
    Parse(LowerCase(name));
}

void TQmXmlConfigParser::Parse(const std::string& refName) {
    WebUpdates.Clear();
    TFileStat st;
    if (Fs().Stat(configXmlFileName_, st) != 0 || !st.exists || st.isDir)
        throw qmxmlparser::EFileNotFound("Config file " + configXmlFileName_ + " not found");
    std::string bytes;
    if (const int err = Fs().ReadFile(configXmlFileName_, bytes))
        throw qmxmlparser::EBadConfigFile(
            Fmt(_("Config file %1 cannot be read: %2"), {configXmlFileName_, SysErrorMessage(err)}));
    if (bytes.find_first_not_of(" \t\r\n") == std::string::npos) return;  // an empty file lists nothing

    bytes = EscapeStrayAmpersands(bytes);
    const QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QXmlStreamReader xml;
    if (DeclaresEncoding(bytes)) {
        xml.addData(data);
    } else {
        // Without a declaration the file is UTF-8, or else Latin-1.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(data);
        if (utf8.hasError()) text = QString::fromLatin1(data);
        xml.addData(text);
    }

    // Levels (1 = the document element) of the open root, emulator block and update
    // block; 0 while none is open.
    size_t level = 0, rootLevel = 0, blockLevel = 0, updateLevel = 0;
    std::string blockRefName;
    bool rootClosed = false;
    while (!xml.atEnd() && !rootClosed) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            ++level;
            const QStringView name = xml.name();
            auto is = [&](const char* n) { return name.compare(QLatin1String(n), Qt::CaseInsensitive) == 0; };
            if (rootLevel == 0) {
                if (is("quarmelleconfigfile")) rootLevel = level;
                break;
            }
            const QXmlStreamAttributes attributes = xml.attributes();
            if (blockLevel == 0 && is("datafile")) {
                blockLevel = level;
                blockRefName.clear();
            }
            if (updateLevel == 0 && is("webupdate")) updateLevel = level;
            if (blockLevel != 0 && !refName.empty()) {
                // The referencename may stand on the block or on any element of it
                // before its pages.
                if (HasAttribute(attributes, "referencename")) blockRefName = Attribute(attributes, "referencename");
                if (is("webgamepage") && SameText(blockRefName, refName)) {
                    std::string url = Attribute(attributes, "url");
                    if (!url.empty()) Infos.Add(std::move(url), Attribute(attributes, "caption"));
                }
            }
            if (updateLevel != 0) {
                std::string site = Attribute(attributes, "sitename");
                std::string url = Attribute(attributes, "url");
                if (!site.empty() && !url.empty()) WebUpdates.Add(std::move(site), std::move(url));
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            if (level == blockLevel) {
                blockLevel = 0;
                blockRefName.clear();
            }
            if (level == updateLevel) updateLevel = 0;
            if (level == rootLevel) rootClosed = true;  // what follows the root is not ours
            if (level > 0) --level;
            break;
        default:
            break;
        }
    }
    if (!rootClosed && xml.hasError())
        throw qmxmlparser::EBadConfigFile(Fmt(_("Config file %1 is not valid (line %2): %3"),
                                              {configXmlFileName_, std::to_string(xml.lineNumber()),
                                               xml.errorString().toStdString()}));
}

}  // namespace qm
