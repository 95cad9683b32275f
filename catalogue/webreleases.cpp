#include "catalogue/webreleases.h"

#include <unistd.h>

#include <QAuthenticator>
#include <QBuffer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QUrl>
#include <algorithm>
#include <cctype>

#include "archive/stringsTools.h"
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

// A datafile arrives as a zip or as text; a web page (an error or login page served
// with status 200) or binary data is not one.
bool LooksLikeDatafile(const std::string& head) {
    if (head.rfind("PK\x03\x04", 0) == 0) return true;
    if (head.find('\0') != std::string::npos) return false;
    size_t start = head.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (start < head.size() && std::isspace(static_cast<unsigned char>(head[start]))) ++start;
    const std::string lowered = LowerCase(head.substr(start));
    return lowered.rfind("<!doctype html", 0) != 0 && lowered.rfind("<html", 0) != 0 &&
           lowered.rfind("<head", 0) != 0 && lowered.rfind("<body", 0) != 0;
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
            ParseReleaseList(site, SplitLines(body.toStdString()), Releases);
            SetProgress(static_cast<int>(i + 1), static_cast<int>(Sites.size()));
            continue;
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

void TWebReleases::ParseReleaseList(const std::string& siteEntry, const std::vector<std::string>& lines,
                                    TWebRecordList& list) {
    const auto bar = siteEntry.find('|');
    const std::string siteName = bar == std::string::npos ? siteEntry : siteEntry.substr(0, bar);
    const std::string siteUrl = WithScheme(bar == std::string::npos ? siteEntry : siteEntry.substr(bar + 1));

    size_t i = 0;
    while (i < lines.size() && LowerCase(lines[i]) != "[info]") ++i;
    if (i == lines.size()) return;
    std::string romType, email;
    for (++i; i < lines.size() && LowerCase(lines[i]) != "[datafiles]"; ++i) {
        const auto eq = lines[i].find('=');
        if (eq == std::string::npos) continue;
        const std::string key = LowerCase(Trim(std::string_view(lines[i]).substr(0, eq)));
        const std::string value = Trim(std::string_view(lines[i]).substr(eq + 1));
        if (key == "romtype") romType = value;
        else if (key == "email") email = value;
    }
    if (i == lines.size()) return;

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

    // The old file stays until the new one is complete.
    QSaveFile file(QString::fromStdString(target));
    if (!file.open(QIODevice::WriteOnly)) throw webreleases::ECantDownloadFile(file.errorString().toStdString());
    std::string request = record.RequestUrl.empty() ? WithScheme(record.Url) : record.RequestUrl;
    ReplaceAll(request, " ", "%20");
    stop_ = false;
    THeadSink sink(file);
    TResult r = Get(request, sink, name, 0);
    if (r.ok && sink.Total() == 0) {
        r.ok = false;
        r.error = Fmt(_("Nothing was received from %1."), {request});
    } else if (r.ok && !LooksLikeDatafile(sink.Head())) {
        r.ok = false;
        r.error = Fmt(_("%1 did not send a datafile (a web page or other data came instead)."), {request});
    }
    if (!r.ok) {
        file.cancelWriting();
        file.commit();  // only drops the temporary file
        if (Aborted) {
            Aborted = false;
            throw webreleases::ESilentAbort(r.error);
        }
        throw webreleases::ECantDownloadFile(r.error);
    }
    file.flush();
    ::fsync(file.handle());
    if (!file.commit()) throw webreleases::ECantDownloadFile(file.errorString().toStdString());
    return target;
}

}  // namespace qm
