// The launch itself, apart from the choice of the file: the emulator profile's header
// and the files database's both declare TCaseOptions, so no translation unit holds both.
#include <exception>

#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "catalogue/Emulator.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/UiHooks.h"
#include "ui/commands/GameLaunch.h"

namespace qm {

bool TGameLauncher::ActPlayGame(const TCommandObject& listFocused, const TCommandObject& treeFocused) {
    TBusyCursor busy;
    try {
        return PlayGame(listFocused, treeFocused);
    } catch (const std::exception& e) {
        UiHooks().MessageDlg(e.what(), TMsgDlgType::mtError, mbOK);
    }
    return false;
}

bool TGameLauncher::PlayGame(const TCommandObject& listFocused, const TCommandObject& treeFocused) {
    const std::string& exe = emulator_.Exe();
    if (TrimView(emulator_.GetExeNoExt()).empty() || TrimView(exe).empty()) {
        UiHooks().MessageDlg(_("Go to preferences and select an emulator before playing a game."),
                             TMsgDlgType::mtWarning, mbOK);
        return false;
    }
    TFileStat st;
    if (Fs().Stat(exe, st) != 0 || !st.exists || st.isDir) {
        UiHooks().MessageDlg(Fmt(_("The emulator %1 does not exist."), {exe}), TMsgDlgType::mtWarning, mbOK);
        return false;
    }

    const TCommandObject& object = listFocused.IsNil() ? treeFocused : listFocused;
    const TPlayChoice choice = ChoosePlayTarget(object);
    if (choice.Found && choice.Confirm) {
        const std::string question = _("No playable files found for this game.") + "\n" +
                                     _("You need to create a new file, or fix an existing one.") + "\n\n" +
                                     _("Continue anyway ?");
        if (UiHooks().MessageDlg(question, TMsgDlgType::mtWarning, mbYes | mbNo) != mrYes) return false;
    }
    if (!choice.Found || choice.Target.empty()) {
        UiHooks().MessageDlg(_("Select a game."), TMsgDlgType::mtWarning, mbOK);
        return false;
    }

    if (window_ != nullptr) window_->Minimize();
    try {
        lastExitCode_ = emulator_.RunGame(choice.Target);
    } catch (...) {
        if (window_ != nullptr) window_->Restore();
        throw;
    }
    if (window_ != nullptr) window_->Restore();
    if (lastExitCode_ == kRunFailed) {
        // The system refused to start it (not a program, no permission) or it did not
        // end normally: nothing was played.
        UiHooks().MessageDlg(Fmt(_("The emulator %1 could not be started or did not end normally."), {exe}),
                             TMsgDlgType::mtError, mbOK);
        return false;
    }
    return true;
}

}  // namespace qm
