#include "catalogue/Emulator.h"

#include "archive/FilesTools.h"
#include "archive/stringsTools.h"
#include "catalogue/config.h"
#include "platform/Exception.h"
#include "platform/Text.h"

namespace qm {

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}


bool ValidCase(int value) { return value >= coDatabase && value <= coDontCare; }

}  // namespace

std::string SetModeWord(bool split, bool merge) {
    if (!split) return _("merged");
    return merge ? _("split") : _("un-merged");
}

TEmulator::TEmulator(TConfig& config) : config_(config), romPaths_(std::make_unique<TRomPaths>(config)) {}
TEmulator::~TEmulator() = default;

void TEmulator::WriteString(const char* key, const std::string& value) {
    if (!config_.EmulatorSection.empty()) config_.WriteString(config_.EmulatorSection, key, value);
}

void TEmulator::WriteBool(const char* key, bool value) { WriteString(key, value ? "1" : "0"); }
void TEmulator::WriteInteger(const char* key, int value) { WriteString(key, std::to_string(value)); }

void TEmulator::SetRunParam(const std::string& value) {
    runParam_ = value;
    WriteString("RunParam", value);
}

void TEmulator::SetExe(const std::string& value) {
    exe_ = value;
    WriteString("Exe", value);
}

void TEmulator::SetSplit(bool value) {
    split_ = value;
    WriteBool("Split", value);
}

void TEmulator::SetMerge(bool value) {
    merge_ = value;
    WriteBool("Merge", value);
}

void TEmulator::SetFixExtension(bool value) {
    fixExtension_ = value;
    WriteBool("FixExtension", value);
}

void TEmulator::SetSetsCase(int value) {
    setsCase_ = static_cast<TCaseOptions>(value);
    WriteInteger("SetsCase", ValidCase(value) ? value : coDatabase);
}

void TEmulator::SetRomsCase(int value) {
    romsCase_ = static_cast<TCaseOptions>(value);
    WriteInteger("RomsCase", ValidCase(value) ? value : coDontCare);
}

void TEmulator::SetDoRenameFiles(bool value) {
    doRenameFiles_ = value;
    WriteBool("DoRenameFiles", value);
}

void TEmulator::SetDoRemoveRoms(bool value) {
    doRemoveRoms_ = value;
    WriteBool("DoRemoveRoms", value);
}

void TEmulator::SetDoFindRoms(bool value) {
    doFindRoms_ = value;
    WriteBool("DoFindRoms", value);
}

void TEmulator::SetDoRemoveFiles(bool value) {
    doRemoveFiles_ = value;
    WriteBool("DoRemoveFiles", value);
}

void TEmulator::SetDoRenameRoms(bool value) {
    doRenameRoms_ = value;
    WriteBool("DoRenameRoms", value);
}

void TEmulator::SetDoCreateDummy(bool value) {
    doCreateDummy_ = value;
    WriteBool("DoCreateDummy", value);
}

void TEmulator::SetDoReZip(bool value) {
    doReZip_ = value;
    WriteBool("DoReZip", value);
}

std::string TEmulator::GetExeNoExt() const { return RemoveFileExt(exe_); }

void TEmulator::WriteMissingDefaults(bool datafileSplit, bool datafileMerge) {
    const std::string& section = config_.EmulatorSection;
    const struct {
        const char* key;
        std::string value;
    } defaults[] = {
        {"Exe", ""},
        {"RunParam", ""},
        {"Split", datafileSplit ? "1" : "0"},
        {"Merge", datafileMerge ? "1" : "0"},
        {"SetsCase", "4"},
        {"RomsCase", "4"},
        {"FixExtension", "1"},
        {"DoRenameFiles", "1"},
        {"DoRenameRoms", "1"},
        {"DoRemoveFiles", "0"},
        {"DoRemoveRoms", "1"},
        {"DoFindRoms", "1"},
        {"DoCreateDummy", "0"},
        {"DoReZip", "0"},
    };
    config_.BeginIniUpdate();
    try {
        for (const auto& d : defaults)
            if (!config_.ValueExists(section, d.key)) config_.WriteString(section, d.key, d.value);
    } catch (...) {
        config_.EndIniUpdate();
        throw;
    }
    config_.EndIniUpdate();
}

void TEmulator::ReadFromIni() {
    const std::string& section = config_.EmulatorSection;
    split_ = config_.ReadBool(section, "Split", true);
    merge_ = config_.ReadBool(section, "Merge", false);
    exe_ = config_.ReadString(section, "Exe", "");
    runParam_ = config_.ReadString(section, "RunParam", "");
    const int roms = config_.ReadInteger(section, "RomsCase", coDontCare);
    romsCase_ = ValidCase(roms) ? static_cast<TCaseOptions>(roms) : coDontCare;
    const int sets = config_.ReadInteger(section, "SetsCase", coDontCare);
    setsCase_ = ValidCase(sets) ? static_cast<TCaseOptions>(sets) : coDontCare;
    fixExtension_ = config_.ReadBool(section, "FixExtension", true);
    doRenameFiles_ = config_.ReadBool(section, "DoRenameFiles", true);
    doRenameRoms_ = config_.ReadBool(section, "DoRenameRoms", true);
    doRemoveFiles_ = config_.ReadBool(section, "DoRemoveFiles", false);
    doRemoveRoms_ = config_.ReadBool(section, "DoRemoveRoms", true);
    doFindRoms_ = config_.ReadBool(section, "DoFindRoms", true);
    doCreateDummy_ = config_.ReadBool(section, "DoCreateDummy", false);
    doReZip_ = config_.ReadBool(section, "DoReZip", false);
}

std::vector<std::string> TEmulator::RunArguments(const std::string& gameFile) const {
    // A set kept as a folder comes with its closing "/": the game is the folder's name,
    // whole (a dot in it is no extension).
    const bool folder = gameFile.size() > 1 && gameFile.back() == '/';
    const std::string path = folder ? gameFile.substr(0, gameFile.size() - 1) : gameFile;
    const std::string name = NameOf(path);
    const std::string bare = folder ? name : RemoveFileExt(name);
    std::vector<std::string> arguments = SplitCommandLine(runParam_);
    for (auto& argument : arguments) argument = Fmt(argument, {bare, name, path});
    return arguments;
}

int TEmulator::RunGame(const std::string& gameFile) {
    if (TrimView(exe_).empty()) throw Exception(_("Go to preferences and select an emulator before playing a game."));
    // The emulator finds its own files beside it; nothing changes this process's
    // current folder.
    return RunProgramWithArgs(exe_, RunArguments(gameFile), true, false, FolderOf(exe_));
}

}  // namespace qm
