// The about box's texts and link targets, gathered from the plug-in and the datafile header.
#include "ui/commands/AboutTexts.h"

#include <QUrl>

#include "archive/stringsTools.h"
#include "catalogue/config.h"
#include "filesdb/CrcPlugIn.h"
#include "platform/Text.h"
#include "ui/commands/TextConv.h"

namespace qm {

const char* const ReleaseDate = "xx Mar 2005";

namespace {

bool Safe(const std::string& url) { return IsSafeLinkTarget(ui::ToQ(url)); }

std::string OrNa(const std::string& value) { return value.empty() ? _("N/A") : value; }

}  // namespace

bool IsSafeLinkTarget(const QString& target) {
    const QUrl url(target);
    if (!url.isValid()) return false;
    const QString scheme = url.scheme().toLower();
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "mailto";
}

std::string WebUrl(const std::string& address) {
    if (address.empty()) return {};
    std::string url = address.find("://") == std::string::npos ? "http://" + address : address;
    return Safe(url) ? url : std::string();
}

std::string MailUrl(const std::string& address) {
    if (address.empty()) return {};
    std::string url = LowerCase(address.substr(0, 7)) == "mailto:" ? address : "mailto:" + address;
    return Safe(url) ? url : std::string();
}

TAboutDatafile AboutDatafileOf(const TDataFile& header) {
    TAboutDatafile d;
    d.Name = header.GetName();
    d.Author = header.Author;
    d.Email = header.Email;
    d.HomePage = header.HomePage;
    d.Url = header.Url;
    d.CreditsVersion = header.CreditsVersion;
    d.Date = header.Date;
    d.EmuVersion = header.EmuVersion;
    d.RefName = header.RefName;
    d.PlugIn = header.PlugIn;
    d.Comment = header.Comment;
    return d;
}

TAboutPlugIn AboutPlugInOf(const TCrcPlugIn& plugIn) {
    TAboutPlugIn p;
    p.FileName = plugIn.FileName();
    p.Version = plugIn.Version();
    p.WebPage = plugIn.WebPage();
    p.Author = plugIn.Author();
    p.Email = plugIn.Email();
    p.Description = plugIn.Description();
    return p;
}

TAboutTexts BuildAboutTexts(const TAboutPlugIn* plugIn, const TAboutDatafile* datafile) {
    TAboutTexts t;
    t.Version = TConfig::CurrentVersion;
    t.Release = ReleaseDate;

    // Each translation credits its translator through these four texts.
    t.TransAuthor = {_("The Quarmelle developers"), MailUrl(_("translations@quarmelle.example"))};
    t.TransWebPage = {_("Quarmelle translations"), WebUrl(_("quarmelle.example/translations/"))};

    if (plugIn) {
        t.PlugInFileName = plugIn->FileName;
        t.PluginVersion = plugIn->Version;
        t.PluginWebPage = {plugIn->WebPage, WebUrl(plugIn->WebPage)};
        t.PluginAuthor = {plugIn->Author, MailUrl(plugIn->Email)};
        t.PluginDescription = plugIn->Description;
    }

    if (datafile) {
        const TAboutDatafile& d = *datafile;
        t.DatName = OrNa(d.Name);
        t.DatAuthor = {OrNa(d.Author), d.Author.empty() ? std::string() : MailUrl(d.Email)};
        t.DatWebPage = {OrNa(d.HomePage), d.HomePage.empty() ? std::string() : WebUrl(d.Url)};
        t.DatVersion = OrNa(d.CreditsVersion);
        t.DatDate = OrNa(d.Date);
        t.DatEmul = OrNa(d.EmuVersion);
        t.DatRefName = OrNa(d.RefName);
        t.DatPlugin = d.PlugIn;
        t.DatComment = d.Comment;
    }
    return t;
}

}  // namespace qm
