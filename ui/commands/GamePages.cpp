// The game information page addresses and the Game info command.
#include "ui/commands/GamePages.h"

#include <QByteArray>
#include <QUrl>

#include "archive/stringsTools.h"
#include "catalogue/RomsBd.h"
#include "filesdb/filesBd.h"
#include "platform/Exception.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"

namespace qm {

namespace {

std::string ReplaceAll(std::string_view text, std::string_view what, std::string_view with) {
    std::string out;
    size_t from = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, from)) {
        out.append(text.substr(from, at - from));
        out.append(with);
        from = at + what.size();
    }
    out.append(text.substr(from));
    return out;
}

std::string PercentEncoded(const std::string& value) {
    const QByteArray encoded =
        QUrl::toPercentEncoding(QByteArray(value.data(), static_cast<qsizetype>(value.size())));
    return std::string(encoded.constData(), static_cast<size_t>(encoded.size()));
}

}  // namespace

TGameInfoMenu BuildGameInfoMenuModel(bool datafileOpen, const TQmInfos& pages, const std::string& gameUrl) {
    TGameInfoMenu menu;
    if (!datafileOpen) return menu;
    for (const TQmInfo& page : pages) {
        // The choice is stored without "&", so a caption holding one is compared so too.
        if (StripAmpersands(page.Caption) == gameUrl || menu.Captions.empty())
            menu.Checked = static_cast<int>(menu.Captions.size());
        menu.Captions.push_back(page.Caption);
    }
    menu.Enabled = !menu.Captions.empty();
    return menu;
}

std::string StripAmpersands(const std::string& caption) { return ReplaceAll(caption, "&", ""); }

std::string UrlEmulatorVersion(const std::string& version) {
    std::string v = LowerCase(version);
    v = ReplaceAll(v, "mame", "");
    v = ReplaceAll(v, "beta", "b");
    v = ReplaceAll(v, "0.", "");
    v = ReplaceAll(v, "v", "");
    v = ReplaceAll(v, " ", "");
    return Trim(v);
}

std::string GameInfoUrl(const std::string& urlTemplate, const std::string& cloneName, const std::string& gameName,
                        const std::string& emulatorVersion) {
    // Both names in one pass, so that a name holding "%gamename%" stays as it is.
    std::string url;
    static constexpr std::string_view kClone = "%clonename%";
    static constexpr std::string_view kGame = "%gamename%";
    const std::string clone = PercentEncoded(cloneName);
    const std::string game = PercentEncoded(gameName);
    for (size_t i = 0; i < urlTemplate.size();) {
        const std::string_view rest = std::string_view(urlTemplate).substr(i);
        if (rest.substr(0, kClone.size()) == kClone) {
            url += clone;
            i += kClone.size();
        } else if (rest.substr(0, kGame.size()) == kGame) {
            url += game;
            i += kGame.size();
        } else {
            url += urlTemplate[i++];
        }
    }
    url = LowerCase(url);
    url = LowerCase(ReplaceAll(url, "%emulversion%", PercentEncoded(UrlEmulatorVersion(emulatorVersion))));
    return AddHttpPrefix(url);
}

bool IsOpenableUrl(const std::string& url) {
    const size_t colon = url.find("://");
    if (colon == std::string::npos) return false;
    const std::string scheme = LowerCase(url.substr(0, colon));
    return scheme == "http" || scheme == "https" || scheme == "ftp";
}

TClone* CloneOfObject(const TCommandObject& object) {
    if (object.File != nullptr) return object.File->Clone;
    if (object.RomFile != nullptr) return object.RomFile->CloneRom ? object.RomFile->CloneRom->Clone : nullptr;
    if (object.Game != nullptr) return object.Game->GetParentClone();
    if (object.Clone != nullptr) return object.Clone;
    if (object.CloneRom != nullptr) return object.CloneRom->Clone;
    return nullptr;
}

// ---- TGamePages -----------------------------------------------------------------------

TGamePages::TGamePages(const TQmInfos& pages) : pages_(pages) {}

std::string TGamePages::ActGameInfo(const TCommandObject& listFocused, const TCommandObject& treeFocused,
                                    int checkedPage, const std::string& emulatorVersion) const {
    TBusyCursor busy;
    ProcessPendingMessages(true);
    struct TAfter {
        ~TAfter() { ProcessPendingMessages(true); }
    } after;
    const TCommandObject& object = listFocused.IsNil() ? treeFocused : listFocused;
    const TClone* clone = CloneOfObject(object);
    if (clone == nullptr) {
        UiHooks().MessageDlg(_("Select a game."), TMsgDlgType::mtWarning, mbOK);
        return {};
    }
    if (checkedPage < 0 || static_cast<size_t>(checkedPage) >= pages_.Count()) return {};
    const TQmInfo& page = pages_.Items(static_cast<size_t>(checkedPage));
    const std::string url = GameInfoUrl(page.Url, clone->GetDisplayName(), clone->Game->Name, emulatorVersion);
    if (!IsOpenableUrl(url))
        throw Exception(Fmt(_("The page %1 is not opened: only web and ftp addresses are."), {url}));
    if (!OpenUrl || !OpenUrl(url))
        throw Exception(_("There is no application associated with the given filename extension."));
    return url;
}

}  // namespace qm
