#pragma once
// What the web tab of the datafile manager shows, apart from its widgets: the folders
// of the release lists, the rows of one folder with their column texts and their
// order, and the download of the checked releases.
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/QMXmlParser.h"
#include "catalogue/webreleases.h"

namespace qm {

// The columns of the release list.
enum TReleaseColumn : int {
    rcName = 0,
    rcVersion,
    rcFiles,
    rcAuthor,
    rcComment,
    rcReleaseDate,
    rcSite,
    rcColumnCount
};

// The captions of the release list's columns, translated.
std::array<std::string, rcColumnCount> ReleaseColumnCaptions();

// One release as a row shows it: copies of its texts, and the release itself (owned
// by the release list, which outlives the rows).
struct TReleaseRow {
    std::array<std::string, rcColumnCount> Texts;
    const TWebRecord* Record = nullptr;
};

// The update sites as the release list expects them: "site name|list URL" each.
std::vector<std::string> ReleaseSiteEntries(const TQmWebUpdates& sites);

// The distinct non-empty folders (RomType) of the releases, told apart without regard
// to case (the first spelling met is kept), sorted without regard to case.
std::vector<std::string> ReleaseFolders(const TWebRecordList& releases);

// The index of kept in folders (exact text), else 0; -1 when folders is empty.
int KeptFolderIndex(const std::vector<std::string>& folders, const std::string& kept);

// The rows of the releases whose folder equals folder without regard to case, in
// list order.
std::vector<TReleaseRow> ReleaseRowsOf(const TWebRecordList& releases, const std::string& folder);

// A release date as the lists write it, "yyyy-mm-dd" (one or two digits for month and
// day): true with a number that orders the dates; false for any other text.
bool ParseReleaseDate(const std::string& text, int& value);

// The order of two rows on a column: without regard to case, except the release date,
// compared as a date when both texts are dates. <0, 0 or >0.
int CompareReleaseRows(const TReleaseRow& a, const TReleaseRow& b, int column);

// Sorts the rows on a column, keeping the order of equal rows.
void SortReleaseRows(std::vector<TReleaseRow>& rows, int column, bool ascending);

// What a download run reports through: the progress text, one step per release, and
// whether the user pressed Cancel.
struct TDownloadProgress {
    std::function<void(const std::string&)> SetText;
    std::function<void()> Step;
    std::function<bool()> Cancelled;
};

// Downloads each release in order. A failed download is shown in an error box and the
// next one follows; Cancel (pressed during a transfer or between two) ends the run.
// Returns the number of files downloaded.
int DownloadReleases(TWebReleases& web, const std::vector<const TWebRecord*>& records,
                     const TDownloadProgress& progress);

}  // namespace qm
