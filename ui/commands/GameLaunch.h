#pragma once
// Playing the game the user points at: the emulator of the current profile is run on a
// playable file of that game (TEmulator::RunGame, which waits for the emulator while
// the window keeps processing messages). The main window is minimised meanwhile and
// restored afterwards, whatever happened.
#include <string>
#include <vector>

#include "ui/commands/CommandObject.h"

namespace qm {

class TEmulator;
class TFile;

// What the launch needs of the main window.
class ILaunchWindow {
public:
    virtual ~ILaunchWindow() = default;
    virtual void Minimize() = 0;
    // Shows the window normally again, brings it to the front and processes pending
    // messages.
    virtual void Restore() = 0;
};

// A file the emulator can run as it is: its volume is present, no rom is missing or
// only found elsewhere, no rom is badly named, and the file needs no new name.
bool IsPlayableFile(const TFile& file);

// The thing to run for an object: Found false when the object is none the command acts
// on. Otherwise Target is what to run, and Confirm tells that no playable file was
// found, so the user is asked first.
struct TPlayChoice {
    bool Found = false;
    bool Confirm = false;
    std::string Target;
};
TPlayChoice ChoosePlayTarget(const TCommandObject& object);

class TGameLauncher {
public:
    // Not owned; window may be null (nothing is minimised).
    TGameLauncher(TEmulator& emulator, ILaunchWindow* window) : emulator_(emulator), window_(window) {}

    // The Play command: listFocused is the list view's focused object, treeFocused the
    // tree view's (used when the list has none). Every error ends in an error box.
    // True when the emulator was run.
    bool ActPlayGame(const TCommandObject& listFocused, const TCommandObject& treeFocused);

    // The emulator's exit code of the last run (see TEmulator::RunGame).
    int LastExitCode() const { return lastExitCode_; }

private:
    bool PlayGame(const TCommandObject& listFocused, const TCommandObject& treeFocused);

    TEmulator& emulator_;
    ILaunchWindow* window_;
    int lastExitCode_ = 0;
};

}  // namespace qm
