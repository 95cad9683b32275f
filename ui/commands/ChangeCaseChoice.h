#pragma once
// What the change-case dialog lets the user choose, turned into the request of the
// main window's file commands: the command mode (3 lower case, 4 upper case,
// 5 capitalise, 6 datafile case) and the items to change (roms 1, files 2, both 3).
namespace qm {

enum class TCaseConversion { None, Uppercase, Lowercase, Capitalize, Datafile };

// Item flags of the file commands.
enum TShellItems : int { siNone = 0, siRoms = 1, siFiles = 2, siBoth = 3 };

struct TChangeCaseChoice {
    TCaseConversion Conversion = TCaseConversion::Datafile;
    bool Files = true;  // zip and folder names
    bool Roms = false;  // the files inside zips and folders

    // The command mode; capitalise when no conversion is chosen.
    int Mode() const;
    int Items() const;
    // True when there is anything to change (else the command says "Nothing to do").
    bool HasItems() const { return Items() != siNone; }
};

// The case rule (a TCaseOptions value of the files database) a command mode applies;
// -1 for a mode that is no case change.
int CaseRuleOfMode(int mode);

// The dialog's answer: whether OK was pressed, and what was chosen.
struct TChangeCaseResult {
    bool Accepted = false;
    TChangeCaseChoice Choice;
};

}  // namespace qm
