#pragma once
// Release lists of the update sites and datafile downloads over HTTP.
//
// Everything runs on the calling (user-interface) thread: each request spins a local
// event loop, so the window stays responsive and Abort() can be called from a Cancel
// button while a transfer runs.
#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Exception.h"
#include "platform/Progress.h"

class QNetworkAccessManager;
class QNetworkReply;
class QIODevice;

namespace qm {

class TArchiveManager;

namespace webreleases {
// A datafile download failed; the message is the transfer's error text.
QM_DECLARE_EXCEPTION(ECantDownloadFile, Exception);
// The user stopped a transfer; shown by nobody (the message is the transfer's error).
QM_DECLARE_ABORT(ESilentAbort, EAbortOperation);
}  // namespace webreleases

// One release of a release list.
struct TWebRecord {
    std::string SiteName;
    std::string SiteUrl;  // "http://" put in front when it holds no "://"
    std::string SiteEmail;
    std::string RomType;  // the datafile manager uses it as the release's folder
    // Fields 1 to 8 of the line, trimmed: 2 datafile name, 3 version, 4 number of files,
    // 5 author, 7 comment, 8 release date.
    std::array<std::string, 8> Fields;
    std::string Url;         // field 9 with a scheme, %20 %28 %29 %23 decoded: for display and the file name
    std::string RequestUrl;  // field 9 with a scheme, as the list wrote it: what is requested
    std::string RawField9;   // field 9 as written in the line

    const std::string& Field(int n) const { return Fields.at(static_cast<size_t>(n - 1)); }
    const std::string& Name() const { return Fields[1]; }
    const std::string& Version() const { return Fields[2]; }
    // True when the name, the version and field 9 are not blank.
    bool IsValid() const;
};

// Records keyed by datafile name, in the order added; owns them.
class TWebRecordList {
public:
    void Add(std::unique_ptr<TWebRecord> record);
    size_t Count() const { return records_.size(); }
    TWebRecord& GetItem(size_t index) const { return *records_.at(index); }
    const std::string& Name(size_t index) const { return records_.at(index)->Name(); }
    void ClearObj() { records_.clear(); }

private:
    std::vector<std::unique_ptr<TWebRecord>> records_;
};

class TWebReleases {
public:
    TWebReleases();
    ~TWebReleases();
    TWebReleases(const TWebReleases&) = delete;
    TWebReleases& operator=(const TWebReleases&) = delete;

    bool Aborted = false;  // the current transfer was aborted by the user
    bool Busy = false;     // true while the release lists are downloaded
    TInfosEvent OnProgressText;
    TProgressEvent OnProgressPosition;
    std::string ListFileName;  // set by the window; not used by the downloads
    std::string DownloadDir;
    // Opens a downloaded zip to check the datafile in it (not owned; one of its own
    // when none is given).
    TArchiveManager* ArchiveManager = nullptr;
    TWebRecordList Releases;
    // The records of Releases by datafile name (two sites may list one name).
    std::multimap<std::string, TWebRecord*> ReleasesByName;
    // Each entry: site name, "|", URL of its release list (no "|": both the whole entry).
    std::vector<std::string> Sites;
    // A transfer that receives nothing for this long fails (milliseconds; 0: never).
    int TransferTimeoutMs = 60000;

    // Fetches the list of every site, in order, into Releases. Errors of one site are
    // shown in a box and the next site follows, unless the user stopped (No after a
    // 404, Cancel in the proxy login, Abort): then ESilentAbort ends the whole run.
    void DownloadReleaseLists();
    // Downloads one release into DownloadDir. The file replaces one of the same name only
    // when it is what the list promised: a datafile the reader accepts, plain or in a
    // zip. Anything else (nothing, a web page, a broken zip, other text) raises
    // ECantDownloadFile saying what came, and the old file stays. Returns the full name
    // of the file written.
    std::string DownloadDatafile(const TWebRecord& record);
    // Asks the transfer in progress to stop.
    void Abort();

    std::string GetProxy() const { return proxyHost_; }
    void SetProxy(const std::string& host) { proxyHost_ = host; }
    int GetProxyPort() const { return proxyPort_; }
    void SetProxyPort(int port) { proxyPort_ = port; }
    void SetProxyUser(const std::string& user) { proxyUser_ = user; }
    void SetProxyPassword(const std::string& password) { proxyPassword_ = password; }
    const std::string& GetProxyUser() const { return proxyUser_; }
    const std::string& GetProxyPassword() const { return proxyPassword_; }
    bool Socks5 = false;  // the proxy is a SOCKS 5 proxy rather than an HTTP one

    void SetStatus(const std::string& text);
    void SetProgress(int current, int total);

    // Parses one release list (lines as SplitLines gives them) into list. False when
    // the lines hold no [info] section followed by a [datafiles] one.
    static bool ParseReleaseList(const std::string& siteEntry, const std::vector<std::string>& lines,
                                 TWebRecordList& list);
    // Cuts bytes at every CR, LF or CR LF; empty pieces between two breaks are lines too.
    static std::vector<std::string> SplitLines(const std::string& bytes);
    // The local file name for a release URL: the last "/" part without a query, made
    // safe for a file name; empty when nothing usable is left.
    static std::string LocalFileName(const std::string& url);

private:
    struct TResult {
        bool ok = false;
        int httpStatus = 0;
        std::string error;
    };
    // One GET into sink (bytes appended); nothing is thrown.
    TResult Get(const std::string& url, QIODevice& sink, const std::string& documentName, int64_t maxBytes);
    void ApplyProxy();

    std::unique_ptr<QNetworkAccessManager> http_;
    QNetworkReply* current_ = nullptr;
    bool stop_ = false;  // the user chose to stop (No after a 404, Cancel in the login)
    std::string proxyHost_;
    int proxyPort_ = 0;
    std::string proxyUser_;
    std::string proxyPassword_;
};

}  // namespace qm
