#pragma once
// The ids of the main window's commands, and the check marks of their actions as the
// rules read and set them, so that those rules need no action object.
namespace qm {

enum class TActionId : int {
    // Paths
    ActAddPath,
    ActRemovePath,
    ActOpenPath,
    // Refresh
    ActRefresh,
    ActRefreshAll,
    ActRebuild,
    ActRebuildAll,
    // Repair
    ActFixGame,
    ActRenameRoms,
    ActRenameFiles,
    ActImportExternalRom,
    ActRemoveUselessFiles,
    ActRemoveUselessRoms,
    ActCreateDummy,
    ActAdvanced,
    // Shell
    ActMoveFile,
    ActCopyFile,
    ActDeleteFiles,
    ActTestFiles,
    ActReZip,
    ActLowerCase,
    ActUpperCase,
    ActCapitalize,
    ActDBCase,
    ActChangeCase,
    ActDatafileManager,
    ActCustomZip,
    // Report
    ActMiss,
    ActHave,
    ActMissRoms,
    ActMissCrc,
    ActCreateDat,
    ActCreateMissDat,
    ActCreateHaveDat,
    // Selection
    ActSelectMain,
    ActSelectClones,
    ActSelectAll,
    ActSelectNgdk,
    ActInvertSelection,
    // Path filters
    ActTVGood,
    ActTVBadName,
    ActTVIncomplete,
    ActTVUnknown,
    ActTVMissing,
    // Database filters
    ActDBPlayable,
    ActDBMissing,
    ActDBIncomplete,
    ActDBClones,
    ActDBSets,
    // Emulator
    ActPlayGame,
    // Without category
    ActConfiguration,
    ActQuit,
    ActScan,
    ActGameInfo,
    ActParentNode,
    ActAll,
    ActAllExcept,
};

inline constexpr int kActionCount = static_cast<int>(TActionId::ActAllExcept) + 1;

inline constexpr int Index(TActionId id) { return static_cast<int>(id); }

// The check marks of the actions: the window's actions, or a test's plain flags.
class TActionChecks {
public:
    virtual bool Checked(TActionId id) const = 0;
    virtual void SetChecked(TActionId id, bool checked) = 0;

protected:
    ~TActionChecks() = default;
};

}  // namespace qm
