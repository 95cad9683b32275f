// Remembering the picked page, apart from the rest: the settings' header and the files
// database's both declare TCaseOptions, so no translation unit holds both.
#include "catalogue/config.h"
#include "ui/commands/GamePages.h"

namespace qm {

void TGamePages::PickPage(TConfig& config, int index) const {
    if (index < 0 || static_cast<size_t>(index) >= pages_.Count()) return;
    config.SetGameUrl(StripAmpersands(pages_.Items(static_cast<size_t>(index)).Caption));
}

}  // namespace qm
