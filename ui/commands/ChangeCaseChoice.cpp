// The change-case dialog's choice turned into a file command request.
#include "ui/commands/ChangeCaseChoice.h"

#include "filesdb/CaseRules.h"

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
        case 3: return coLowercase;
        case 4: return coUppercase;
        case 5: return coCapitalize;
        case 6: return coDatabase;
        default: return -1;
    }
}

}  // namespace qm
