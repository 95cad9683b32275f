#pragma once
// What the about box shows: the program's texts, the translation credits, the signature
// plug-in's texts and the open datafile's header, gathered without any window so that
// the rules (which fields show "N/A", which become links and to what) can be tested on
// their own.
//
// Every text here is shown as plain text: datafile headers and plug-ins are written by
// third parties, and a text that looked like markup must not turn into it.
#include <string>
#include <vector>

class QString;

namespace qm {

class TCrcPlugIn;
class TDataFile;

// A caption with the target a click opens; no target means no link.
struct TLinkText {
    std::string Caption;
    std::string Url;
};

// True for the targets a link may open: http, https, ftp and mailto.
bool IsSafeLinkTarget(const QString& target);

// A web address as a link target: "http://" goes in front unless the address already
// names a scheme ("://"). Empty for an empty address, and for a target other than a web
// or mail one (a datafile may hold anything), which is then shown without a link.
std::string WebUrl(const std::string& address);
// "mailto:" + address (unless it starts with "mailto:"); empty for an empty address.
std::string MailUrl(const std::string& address);

// The header fields the about box shows.
struct TAboutDatafile {
    std::string Name;  // the working copy's name without folder and extension
    std::string Author, Email, HomePage, Url, CreditsVersion, Date, EmuVersion, RefName, PlugIn;
    std::vector<std::string> Comment;
};
TAboutDatafile AboutDatafileOf(const TDataFile& header);

struct TAboutPlugIn {
    std::string FileName, Version, WebPage, Author, Email, Description;
};
TAboutPlugIn AboutPlugInOf(const TCrcPlugIn& plugIn);

struct TAboutTexts {
    std::string Version;  // the program version
    std::string Release;  // its release date

    TLinkText TransAuthor, TransWebPage;

    std::string PlugInFileName, PluginVersion;
    TLinkText PluginWebPage, PluginAuthor;
    std::string PluginDescription;

    std::string DatName;
    TLinkText DatAuthor, DatWebPage;
    std::string DatVersion, DatDate, DatPlugin, DatRefName, DatEmul;
    std::vector<std::string> DatComment;
};

// The texts for a plug-in and a datafile header, either of which may be absent (its
// tab then shows empty fields; the datafile tab's empty fields read "N/A", except the
// plug-in name, shown as the header holds it).
TAboutTexts BuildAboutTexts(const TAboutPlugIn* plugIn, const TAboutDatafile* datafile);

// The program's release date shown under its version.
extern const char* const ReleaseDate;

}  // namespace qm
