#pragma once
// The profile of the open datafile's emulator, kept in the emulator's own section of the
// settings (Config.EmulatorSection, named after the datafile's reference name): the
// executable and its run parameters, how sets are organised, how names are cased, which
// repair steps a fix runs, and the rom folders. Every setter writes its key through to
// the settings file before it returns.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/CaseOptions.h"
#include "catalogue/RomPaths.h"

namespace qm {

class TConfig;

// The word a set mode is shown by: "merged" when sets are not split, "split" when they
// are split and clone roms merged, "un-merged" when they are split and not merged.
std::string SetModeWord(bool split, bool merge);

class TEmulator {
public:
    // Reads and writes its keys through config, in config.EmulatorSection; while that is
    // empty (no datafile open) a setter changes the field only.
    explicit TEmulator(TConfig& config);
    ~TEmulator();
    TEmulator(const TEmulator&) = delete;
    TEmulator& operator=(const TEmulator&) = delete;

    const std::string& RunParam() const { return runParam_; }
    const std::string& Exe() const { return exe_; }
    bool Split() const { return split_; }
    bool Merge() const { return merge_; }
    bool FixExtension() const { return fixExtension_; }
    TCaseOptions SetsCase() const { return setsCase_; }
    TCaseOptions RomsCase() const { return romsCase_; }
    bool DoRenameFiles() const { return doRenameFiles_; }
    bool DoRemoveRoms() const { return doRemoveRoms_; }
    bool DoFindRoms() const { return doFindRoms_; }
    bool DoRemoveFiles() const { return doRemoveFiles_; }
    bool DoRenameRoms() const { return doRenameRoms_; }
    bool DoCreateDummy() const { return doCreateDummy_; }
    bool DoReZip() const { return doReZip_; }
    TRomPaths& RomPaths() { return *romPaths_; }
    const TRomPaths& RomPaths() const { return *romPaths_; }

    void SetRunParam(const std::string& value);
    void SetExe(const std::string& value);
    void SetSplit(bool value);
    void SetMerge(bool value);
    void SetFixExtension(bool value);
    // A code outside 0..4 is kept in the field as given; the file then gets 0 for the
    // sets and 4 for the roms.
    void SetSetsCase(int value);
    void SetRomsCase(int value);
    void SetDoRenameFiles(bool value);
    void SetDoRemoveRoms(bool value);
    void SetDoFindRoms(bool value);
    void SetDoRemoveFiles(bool value);
    void SetDoRenameRoms(bool value);
    void SetDoCreateDummy(bool value);
    void SetDoReZip(bool value);

    // Exe without its extension.
    std::string GetExeNoExt() const;

    // Writes, for every key of the section that is absent, its default, in the order
    // of the profile (split and merge default to the datafile's own), in one rewrite.
    void WriteMissingDefaults(bool datafileSplit, bool datafileMerge);
    // Reads the fields from the section. A stored case code outside 0..4 reads as
    // coDontCare: the rule of the emulator opened before must not carry over.
    void ReadFromIni();

    // The run parameters split into arguments (blanks and tabs separate, double quotes
    // group, "" inside quotes is one quote), then in each argument "%1" filled with the
    // game's name without folder and extension, "%2" with its name without folder and
    // "%3" with gameFile as passed, in one pass, so that a name holding "%3" or shell
    // characters is passed on literally.
    std::vector<std::string> RunArguments(const std::string& gameFile) const;
    // Runs Exe with RunArguments in the folder of Exe (no shell) and returns when the
    // emulator has ended, processing pending messages meanwhile. The result is the
    // emulator's exit code, or kRunFailed (archive/FilesTools.h) when it could not be
    // started. Raises qm::Exception when no emulator is set.
    int RunGame(const std::string& gameFile);

private:
    void WriteBool(const char* key, bool value);
    void WriteInteger(const char* key, int value);
    void WriteString(const char* key, const std::string& value);

    TConfig& config_;
    std::string runParam_;
    std::string exe_;
    bool split_ = true;
    bool merge_ = false;
    bool fixExtension_ = true;
    TCaseOptions setsCase_ = coDontCare;
    TCaseOptions romsCase_ = coDontCare;
    bool doRenameFiles_ = true;
    bool doRemoveRoms_ = true;
    bool doFindRoms_ = true;
    bool doRemoveFiles_ = false;
    bool doRenameRoms_ = true;
    bool doCreateDummy_ = false;
    bool doReZip_ = false;
    std::unique_ptr<TRomPaths> romPaths_;
};

}  // namespace qm
