#pragma once
// The game information pages of the tests, and a small rom database with a clone whose
// name needs encoding in an address.
#include <initializer_list>
#include <utility>

#include "catalogue/ProfileTestSupport.h"
#include "catalogue/QMXmlParser.h"
#include "catalogue/RomsBd.h"
#include "platform/UiHooks.h"
#include "ui/commands/CommandObject.h"

namespace qm::test {

inline TQmInfos Pages(std::initializer_list<std::pair<const char*, const char*>> captionsAndUrls) {
    TQmInfos pages;
    for (const auto& [caption, url] : captionsAndUrls) pages.Add(url, caption);
    return pages;
}

class GamePagesTest : public ProfileTest {
protected:
    GamePagesTest() : hooksScope_(hooks_) {
        TDatafile& dat = roms_.Datafile();
        dat.AddItem("pacman", "Pac-Man", "pacman", "Pac-Man", "pm1.bin", "11111111", 16, "", "", false);
        dat.AddItem("pacman", "Pac-Man", "Pac Man & Co", "Pac Man and Co", "pm1.bin", "11111111", 16, "pacman",
                    "pm1.bin", false);
        roms_.Build();
        roms_.Split = true;
    }
    TCommandObject Clone(const char* name) { return TCommandObject::Of(roms_.Games().FindClone(name)); }

    TRomsBd roms_;
    TScriptedUiHooks hooks_;
    TScopedUiHooks hooksScope_;
};

}  // namespace qm::test
