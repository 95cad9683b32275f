#include "catalogue/webreleases.h"

#include <QAuthenticator>
#include <QBuffer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cctype>

#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "catalogue/DataFile.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

constexpr int64_t kMaxListBytes = 16 * 1024 * 1024;

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
    for (size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size())) s.replace(p, from.size(), to);
}

std::string WithScheme(const std::string& url) {
    return url.find("://") == std::string::npos ? "http://" + url : url;
}

std::string DocumentName(const std::string& url) {
    std::string path = url;
    if (auto q = path.find('?'); q != std::string::npos) path.erase(q);
    const auto p = path.rfind('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

// Passes every byte on to the target and keeps the first few, so that what arrived can
// be judged before it takes the old file's place.
class THeadSink : public QIODevice {
public:
    explicit THeadSink(QIODevice& target) : target_(target) { open(QIODevice::WriteOnly); }
    const std::string& Head() const { return head_; }
    int64_t Total() const { return total_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        const qint64 written = target_.write(data, size);
        if (written != size) {
            setErrorString(target_.errorString());
            return -1;
        }
        if (head_.size() < kHeadBytes)
            head_.append(data, static_cast<size_t>(std::min<qint64>(size, static_cast<qint64>(kHeadBytes - head_.size()))));
        total_ += size;
        return size;
    }

private:
    static constexpr size_t kHeadBytes = 4096;
    QIODevice& target_;
    std::string head_;
    int64_t total_ = 0;
};

bool IsZip(const std::string& head) {
    return head.rfind("PK\x03\x04", 0) == 0 || head.rfind("PK\x05\x06", 0) == 0;
}

// The text after a byte-order mark and blanks, lower-cased.
std::string LoweredStart(const std::string& head) {
    size_t start = head.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (start < head.size() && std::isspace(static_cast<unsigned char>(head[start]))) ++start;
    return LowerCase(head.substr(start));
}

// A web page (an error or login page served with status 200): markup that names html,
// whatever comes first (an XML prolog, a comment, a doctype). Neither a datafile nor a
// release list ever begins with "<".
bool IsWebPage(const std::string& head) {
    const std::string text = LoweredStart(head);
    return !text.empty() && text[0] == '<' && text.find("html") != std::string::npos;
}

// The first line that holds anything, cut short, for telling what came instead.
std::string FirstLine(const std::string& head) {
    std::string line;
    for (const std::string& piece : TWebReleases::SplitLines(head)) {
        line = Trim(piece);
        if (!line.empty()) break;
    }
    if (line.size() > 80) line = line.substr(0, 80) + "...";
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 32) c = ' ';
    return line;
}

}  // namespace

bool TWebRecord::IsValid() const {
    return !Trim(Fields[1]).empty() && !Trim(Fields[2]).empty() && !Trim(RawField9).empty();
}

void TWebRecordList::Add(std::unique_ptr<TWebRecord> record) { records_.push_back(std::move(record)); }

TWebReleases::TWebReleases() : http_(std::make_unique<QNetworkAccessManager>()) {
    QObject::connect(http_.get(), &QNetworkAccessManager::proxyAuthenticationRequired,
                     [this](const QNetworkProxy& proxy, QAuthenticator* authenticator) {
                         std::string user = proxyUser_;
                         std::string password = proxyPassword_;
                         const std::string line = Fmt(_("Connection to %1"), {proxy.hostName().toStdString()});
                         if (!UiHooks().LoginQuery(_("Proxy authentication"), line, user, password)) {
                             // Left empty, the request fails with the proxy's refusal.
                             stop_ = true;
                             return;
                         }
                         proxyUser_ = user;
                         proxyPassword_ = password;
                         authenticator->setUser(QString::fromStdString(user));
                         authenticator->setPassword(QString::fromStdString(password));
                     });
}

TWebReleases::~TWebReleases() {
    if (current_) current_->abort();
}

void TWebReleases::SetStatus(const std::string& text) {
    if (OnProgressText) OnProgressText(text);
}

void TWebReleases::SetProgress(int current, int total) {
    if (!OnProgressPosition) return;
    OnProgressPosition(total == 0 ? 100 : std::min(100, current * 100 / total + 1));
}

void TWebReleases::Abort() {
    if (!current_) return;
    Aborted = true;
    SetStatus(_("Abort"));
    current_->abort();
}

void TWebReleases::ApplyProxy() {
    if (proxyHost_.empty()) {
        http_->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        return;
    }
    QNetworkProxy proxy(Socks5 ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy,
                        QString::fromStdString(proxyHost_), static_cast<quint16>(proxyPort_),
                        QString::fromStdString(proxyUser_), QString::fromStdString(proxyPassword_));
    http_->setProxy(proxy);
}

TWebReleases::TResult TWebReleases::Get(const std::string& url, QIODevice& sink, const std::string& documentName,
                                        int64_t maxBytes) {
    TResult result;
    Aborted = false;
    ApplyProxy();
    QNetworkRequest request(QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::TolerantMode));
    request.setTransferTimeout(TransferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    SetStatus(_("Dns lookup"));
    QNetworkReply* reply = http_->get(request);
    current_ = reply;
    bool bodyStarted = false;
    int64_t received = 0;
    std::string localError;
    auto statusOf = [reply] { return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); };
    QObject::connect(reply, &QNetworkReply::socketStartedConnecting, [this] { SetStatus(_("Connection")); });
    QObject::connect(reply, &QNetworkReply::requestSent, [this] { SetStatus(_("Request datafile")); });
    QObject::connect(reply, &QNetworkReply::readyRead, [&, reply] {
        const int status = statusOf();
        const QByteArray data = reply->readAll();
        if (status < 200 || status > 299) return;  // an error page is not the document
        if (!bodyStarted) {
            bodyStarted = true;
            SetStatus(Fmt(_("Loading datafile %1"), {documentName}));
        }
        received += data.size();
        if (maxBytes > 0 && received > maxBytes) {
            localError = _("The answer is too large.");
            reply->abort();
            return;
        }
        if (sink.write(data) != data.size()) {
            localError = sink.errorString().toStdString();
            reply->abort();
        }
    });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    current_ = nullptr;

    result.httpStatus = statusOf();
    if (!localError.empty()) {
        result.error = localError;
    } else if (reply->error() == QNetworkReply::OperationCanceledError && !Aborted) {
        // Nobody pressed Cancel: the transfer's own time limit stopped it.
        result.error = Fmt(_("%1 sent nothing for %2 seconds: the transfer timed out."),
                           {url, std::to_string((TransferTimeoutMs + 999) / 1000)});
    } else if (reply->error() != QNetworkReply::NoError) {
        result.error = reply->errorString().toStdString();
    } else if (result.httpStatus != 0 && (result.httpStatus < 200 || result.httpStatus > 299)) {
        result.error = std::to_string(result.httpStatus) + " " +
                       reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().toStdString();
    } else {
        result.ok = true;
    }
    reply->deleteLater();
    if (result.ok) SetStatus(_("Ready"));
    return result;
}

void TWebReleases::DownloadReleaseLists() {
    if (Busy) return;
    Busy = true;
    // Both lists are emptied together, so that no index entry outlives its record.
    ReleasesByName.clear();
    Releases.ClearObj();
    stop_ = false;
    struct TFinish {
        TWebReleases& self;
        ~TFinish() {
            self.ReleasesByName.clear();
            for (size_t i = 0; i < self.Releases.Count(); ++i)
                self.ReleasesByName.emplace(self.Releases.Name(i), &self.Releases.GetItem(i));
            self.Busy = false;
            self.SetStatus("");
        }
    } finish{*this};

    for (size_t i = 0; i < Sites.size() && !stop_; ++i) {
        const std::string& site = Sites[i];
        const auto bar = site.find('|');
        const std::string name = bar == std::string::npos ? site : site.substr(0, bar);
        const std::string url = bar == std::string::npos ? site : site.substr(bar + 1);
        SetStatus(Fmt(_("Connecting to web site %1..."), {name}));
        QByteArray body;
        TResult r;
        for (;;) {
            body.clear();  // a retried request starts afresh
            QBuffer buffer(&body);
            buffer.open(QIODevice::WriteOnly);
            r = Get(url, buffer, DocumentName(url), kMaxListBytes);
            if (r.ok || stop_) break;
            if (Aborted) {
                stop_ = true;
                break;
            }
            if (r.httpStatus == 404) {
                const int answer = UiHooks().MessageDlg(url + "\n" + r.error + "\n" + _("Continue ?"),
                                                        TMsgDlgType::mtError, mbYes | mbNo);
                if (answer == mrYes) continue;
                stop_ = true;
            }
            break;
        }
        if (r.ok) {
            // What is not a list (nothing, a web page served as one) says so, rather
            // than adding nothing in silence.
            const std::string bytes = body.toStdString();
            if (Trim(bytes).empty())
                r.error = _("The release list is empty.");
            else if (IsWebPage(bytes))
                r.error = _("The server sent a web page, not a release list.");
            else if (!ParseReleaseList(site, SplitLines(bytes), Releases))
                r.error = _("This is not a release list: it has no [info] and [datafiles] sections.");
            if (r.error.empty()) {
                SetProgress(static_cast<int>(i + 1), static_cast<int>(Sites.size()));
                continue;
            }
        }
        if (stop_) throw webreleases::ESilentAbort(r.error);
        UiHooks().MessageDlg(url + ":\n" + r.error, TMsgDlgType::mtError, mbOK);
    }
}

std::vector<std::string> TWebReleases::SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n') continue;
        lines.push_back(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < bytes.size()) lines.push_back(bytes.substr(start));
    return lines;
}

bool TWebReleases::ParseReleaseList(const std::string& siteEntry, const std::vector<std::string>& lines,
                                    TWebRecordList& list) {
    const auto bar = siteEntry.find('|');
    const std::string siteName = bar == std::string::npos ? siteEntry : siteEntry.substr(0, bar);
    const std::string siteUrl = WithScheme(bar == std::string::npos ? siteEntry : siteEntry.substr(bar + 1));

    size_t i = 0;
    while (i < lines.size() && LowerCase(lines[i]) != "[info]") ++i;
    if (i == lines.size()) return false;
    std::string romType, email;
    for (++i; i < lines.size() && LowerCase(lines[i]) != "[datafiles]"; ++i) {
        const auto eq = lines[i].find('=');
        if (eq == std::string::npos) continue;
        const std::string key = LowerCase(Trim(std::string_view(lines[i]).substr(0, eq)));
        const std::string value = Trim(std::string_view(lines[i]).substr(eq + 1));
        if (key == "romtype") romType = value;
        else if (key == "email") email = value;
    }
    if (i == lines.size()) return false;

    for (++i; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (Trim(line).empty()) continue;
        auto record = std::make_unique<TWebRecord>();
        record->SiteName = siteName;
        record->SiteUrl = siteUrl;
        record->SiteEmail = email;
        record->RomType = romType;
        size_t pos = 0;
        std::string field9;
        for (size_t f = 0; f < 9; ++f) {
            if (pos > line.size()) break;
            const auto semi = line.find(';', pos);
            const size_t end = semi == std::string::npos ? line.size() : semi;
            const std::string field = Trim(std::string_view(line).substr(pos, end - pos));
            if (f < 8)
                record->Fields[f] = field;
            else
                field9 = field;
            pos = semi == std::string::npos ? line.size() + 1 : semi + 1;
        }
        // Whatever follows the ninth field (";;" at the end, fields a later list format
        // added) is no part of the address.
        record->RawField9 = field9;
        if (!field9.empty()) {
            record->RequestUrl = WithScheme(field9);
            std::string decoded = record->RequestUrl;
            ReplaceAll(decoded, "%20", " ");
            ReplaceAll(decoded, "%28", "(");
            ReplaceAll(decoded, "%29", ")");
            ReplaceAll(decoded, "%23", "#");
            record->Url = decoded;
        }
        if (record->IsValid()) list.Add(std::move(record));
    }
    return true;
}

std::string TWebReleases::LocalFileName(const std::string& url) {
    std::string name = GetLastToken(url, '/');
    if (auto q = name.find('?'); q != std::string::npos) name.erase(q);
    name = MakeValidFileName(name);
    if (name.empty() || name == "." || name == "..") return {};
    return name;
}

std::string TWebReleases::DownloadDatafile(const TWebRecord& record) {
    if (current_) return {};  // one transfer at a time
    std::string dir = DownloadDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    TFileStat st;
    if (dir.empty() || Fs().Stat(dir, st) != 0 || !st.isDir)
        throw webreleases::ECantDownloadFile(Fmt(_("Folder %1 not found."), {DownloadDir}));
    const std::string name = LocalFileName(record.Url);
    if (name.empty())
        throw webreleases::ECantDownloadFile(Fmt(_("No file name in the address %1."), {record.Url}));
    const std::string target = dir + name;

    // What arrives is kept in a folder of the process's own, under the name it will
    // have, and read there as the datafile list will read it. Only what the reader
    // accepts goes beside the old file and then takes its place.
    const std::string temp = GetTempDirectory();
    QTemporaryDir staging(QString::fromStdString(temp + "download-XXXXXX"));
    if (!staging.isValid())
        throw webreleases::ECantDownloadFile(
            Fmt(_("Cannot create a temporary folder in %1: %2"), {temp, staging.errorString().toStdString()}));
    const std::string work = staging.path().toStdString() + "/" + name;
    QFile file(QString::fromStdString(work));
    if (!file.open(QIODevice::WriteOnly)) throw webreleases::ECantDownloadFile(file.errorString().toStdString());
    std::string request = record.RequestUrl.empty() ? WithScheme(record.Url) : record.RequestUrl;
    ReplaceAll(request, " ", "%20");
    stop_ = false;
    THeadSink sink(file);
    const TResult r = Get(request, sink, name, 0);
    file.close();
    if (!r.ok) {
        if (Aborted) {
            Aborted = false;
            throw webreleases::ESilentAbort(r.error);
        }
        throw webreleases::ECantDownloadFile(r.error);
    }
    if (file.error() != QFileDevice::NoError) throw webreleases::ECantDownloadFile(file.errorString().toStdString());
    if (sink.Total() == 0) throw webreleases::ECantDownloadFile(Fmt(_("Nothing was received from %1."), {request}));
    if (IsWebPage(sink.Head()))
        throw webreleases::ECantDownloadFile(Fmt(_("The server sent a web page, not a datafile: %1"), {request}));
    try {
        CheckDatafile(work, ArchiveManager);
    } catch (const std::exception& e) {
        std::string reason = e.what();
        // A text without the datafile's header says more by its own first line.
        if (dynamic_cast<const datafile::EBadDatafileVersion*>(&e) && !IsZip(sink.Head()))
            reason = Fmt(_("What came begins with \"%1\"."), {FirstLine(sink.Head())});
        throw webreleases::ECantDownloadFile(Fmt(_("The server did not send a datafile: %1"), {request}) + "\n" +
                                             reason);
    }
    try {
        PutFileInPlace(work, target);
    } catch (const EFCantMove& e) {
        throw webreleases::ECantDownloadFile(target + ": " + e.Message());
    }
    return target;
}

}  // namespace qm
