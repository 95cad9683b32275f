#pragma once
// The game information pages that config.xml lists for the current emulator: the Game
// info command opens the checked one for the game pointed at, its address filled in.
#include <functional>
#include <string>
#include <vector>

#include "catalogue/QMXmlParser.h"
#include "ui/commands/CommandObject.h"

namespace qm {

class TClone;
class TConfig;

// What the submenu shows: one item per page, in order, with the checked one, and
// whether the Game info command is enabled.
struct TGameInfoMenu {
    std::vector<std::string> Captions;
    int Checked = -1;  // -1: no item
    bool Enabled = false;
};
// The first page is checked, unless a page's caption is the remembered one (gameUrl,
// stored without "&").
TGameInfoMenu BuildGameInfoMenuModel(bool datafileOpen, const TQmInfos& pages, const std::string& gameUrl);

// The caption with every "&" removed, as the choice is remembered.
std::string StripAmpersands(const std::string& caption);

// The emulator's version as the addresses use it: lower-cased, then "mame" removed,
// "beta" made "b", "0." removed, "v" removed, blanks removed, trimmed ("MAME 0.104u5"
// gives "104u5", "0.99 beta" gives "99b").
std::string UrlEmulatorVersion(const std::string& version);

// The page's address: "%clonename%" and "%gamename%" (exact case) filled with the
// names, the whole lower-cased, then "%emulversion%" filled with the version (made as
// UrlEmulatorVersion does) and lower-cased again. The values are percent-encoded, so
// that blanks, "&", "#" or "?" in a name stay part of the name. An address without a
// scheme is a web address ("http://" is put in front).
std::string GameInfoUrl(const std::string& urlTemplate, const std::string& cloneName, const std::string& gameName,
                        const std::string& emulatorVersion);

// Only web and ftp addresses are opened: config.xml comes from outside, and a page must
// not run a program or open a local file.
bool IsOpenableUrl(const std::string& url);

// The clone a command object stands for (a file's clone, a rom file's listing's, a
// game's parent clone), or nullptr.
TClone* CloneOfObject(const TCommandObject& object);

class TGamePages {
public:
    // pages: the emulator configuration's page list (the parser's Infos), not owned.
    explicit TGamePages(const TQmInfos& pages);

    // Opens an address; the window's opener. False, or unset, when nothing could open it.
    std::function<bool(const std::string& url)> OpenUrl;

    // A page item was picked: it becomes the remembered page. Nothing is opened.
    void PickPage(TConfig& config, int index) const;

    // The Game info command, checkedPage being the index of the checked submenu item
    // (-1 when none). Returns the address opened, empty when none was. A missing game
    // is reported in a box; an address that may not be opened, or that nothing could
    // open, raises qm::Exception.
    std::string ActGameInfo(const TCommandObject& listFocused, const TCommandObject& treeFocused, int checkedPage,
                            const std::string& emulatorVersion) const;

private:
    const TQmInfos& pages_;
};

}  // namespace qm
