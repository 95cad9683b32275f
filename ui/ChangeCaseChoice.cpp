#include "ui/ChangeCaseChoice.h"

namespace qm {

int TChangeCaseChoice::Mode() const {
    switch (Conversion) {
        case TCaseConversion::Uppercase: return 4;
        case TCaseConversion::Lowercase: return 3;
        case TCaseConversion::Datafile: return 6;
        case TCaseConversion::Capitalize:
        case TCaseConversion::None: break;
    }
    return 5;
}

int TChangeCaseChoice::Items() const { return (Roms ? siRoms : siNone) | (Files ? siFiles : siNone); }

int CaseRuleOfMode(int mode) {
    switch (mode) {
        case 3: return 2;
        case 4: return 1;
        case 5: return 3;
        case 6: return 0;
        default: return -1;
    }
}

}  // namespace qm
