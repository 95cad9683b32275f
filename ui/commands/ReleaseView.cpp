// The rows and texts of the datafile manager's web tab.
#include "ui/commands/ReleaseView.h"

#include <algorithm>
#include <cctype>

#include "archive/stringsTools.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

std::array<std::string, rcColumnCount> ReleaseColumnCaptions() {
    return {_("Datafile name"), _("Version"), _("# of files"), _("Author"),
            _("Comment"),       _("Release date"), _("Web site")};
}

std::vector<std::string> ReleaseSiteEntries(const TQmWebUpdates& sites) {
    std::vector<std::string> entries;
    for (const TQmWebUpdate& site : sites) entries.push_back(site.SiteName + "|" + site.Url);
    return entries;
}

std::vector<std::string> ReleaseFolders(const TWebRecordList& releases) {
    std::vector<std::string> folders;
    for (size_t i = 0; i < releases.Count(); ++i) {
        const std::string& folder = releases.GetItem(i).RomType;
        if (folder.empty()) continue;
        if (std::none_of(folders.begin(), folders.end(), [&](const std::string& f) { return SameText(f, folder); }))
            folders.push_back(folder);
    }
    std::stable_sort(folders.begin(), folders.end(),
                     [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    return folders;
}

int KeptFolderIndex(const std::vector<std::string>& folders, const std::string& kept) {
    if (folders.empty()) return -1;
    const auto it = std::find(folders.begin(), folders.end(), kept);
    return it == folders.end() ? 0 : static_cast<int>(it - folders.begin());
}

std::vector<TReleaseRow> ReleaseRowsOf(const TWebRecordList& releases, const std::string& folder) {
    std::vector<TReleaseRow> rows;
    for (size_t i = 0; i < releases.Count(); ++i) {
        const TWebRecord& r = releases.GetItem(i);
        if (!SameText(r.RomType, folder)) continue;
        rows.push_back({{r.Field(2), r.Field(3), r.Field(4), r.Field(5), r.Field(7), r.Field(8), r.SiteName}, &r});
    }
    return rows;
}

bool ParseReleaseDate(const std::string& text, int& value) {
    const std::string t = Trim(text);
    int parts[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int part = 0;
    for (const char c : t) {
        if (c == '-') {
            if (++part > 2) return false;
            continue;
        }
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        if (++digits[part] > (part == 0 ? 4 : 2)) return false;
        parts[part] = parts[part] * 10 + (c - '0');
    }
    if (part != 2 || digits[0] != 4 || digits[1] == 0 || digits[2] == 0) return false;
    const int year = parts[0], month = parts[1], day = parts[2];
    if (month < 1 || month > 12 || day < 1) return false;
    static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap)) return false;
    value = (year * 100 + month) * 100 + day;
    return true;
}

int CompareReleaseRows(const TReleaseRow& a, const TReleaseRow& b, int column) {
    const std::string& x = a.Texts.at(static_cast<size_t>(column));
    const std::string& y = b.Texts.at(static_cast<size_t>(column));
    if (column == rcReleaseDate) {
        int dx = 0, dy = 0;
        if (ParseReleaseDate(x, dx) && ParseReleaseDate(y, dy)) return dx < dy ? -1 : dx > dy ? 1 : 0;
    }
    return CompareText(x, y);
}

void SortReleaseRows(std::vector<TReleaseRow>& rows, int column, bool ascending) {
    std::stable_sort(rows.begin(), rows.end(), [&](const TReleaseRow& a, const TReleaseRow& b) {
        const int c = CompareReleaseRows(a, b, column);
        return ascending ? c < 0 : c > 0;
    });
}

int DownloadReleases(TWebReleases& web, const std::vector<const TWebRecord*>& records,
                     const TDownloadProgress& progress) {
    int done = 0;
    for (const TWebRecord* record : records) {
        if (progress.Cancelled && progress.Cancelled()) break;
        if (progress.SetText) progress.SetText(Fmt(_("Downloading %1"), {record->Name()}));
        try {
            web.DownloadDatafile(*record);
            ++done;
        } catch (const webreleases::ESilentAbort&) {
            break;  // the user stopped the transfer: the rest is not wanted either
        } catch (const Exception& e) {
            UiHooks().MessageDlg(e.Message(), TMsgDlgType::mtError, mbOK);
        }
        if (progress.Step) progress.Step();
    }
    return done;
}

}  // namespace qm
