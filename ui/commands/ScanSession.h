#pragma once
// What the scan window does, without a widget: files, folders and zips dropped on it are
// identified against the open datafile in a files database of its own (sharing the main
// rom database, signature calculator and archive manager), listed as a tree of nodes,
// and those holding roms the user does not have yet are copied or moved into one of the
// main window's rom paths. The window (or a fake in tests) shows what it is told through
// IScanView.
//
// The scan database never registers its rom files with the rom database (SubmitRoms off),
// so its lookups never change what the main window shows. Its rom files do point into the
// catalogue: ForgetCatalogue cuts those links before the catalogue is cleared, and
// RefreshScan links them again to the new one.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filesdb/filesBd.h"
#include "platform/Progress.h"

namespace qm {

class TArchiveManager;
class TRomsBd;
class TSignatureCalculator;

// One line of the scan tree: a folder or zip with its rom nodes, or a rom node (the roms
// of a plain file stand at the top level). The pointers are for the caller's use only;
// the window shows Text and ImageIndex and never follows them.
struct TScanNode {
    std::string Text;
    int ImageIndex = -1;       // into the status image strip
    TFile* File = nullptr;        // the folder or zip, or the file holding the rom
    TRomFile* RomFile = nullptr;  // the rom file of a rom node
    std::vector<TScanNode> Children;
};

class IScanView {
public:
    virtual ~IScanView() = default;
    // The status bar: the file count, the gauge with the name being handled, the datafile.
    virtual void SetCountText(const std::string& text) = 0;
    virtual void SetHandlingText(const std::string& text) = 0;
    virtual void SetGauge(int percent) = 0;
    virtual void SetDatafileText(const std::string& text) = 0;
    // Tree updates are suspended while nodes come in; every suspend is resumed.
    virtual void SuspendTreeUpdates(bool suspended) = 0;
    // The whole tree replaced by nodes (top-level nodes with their children).
    virtual void ShowTree(const std::vector<TScanNode>& nodes) = 0;
    // Nodes added after the last top-level node.
    virtual void AppendNodes(const std::vector<TScanNode>& nodes) = 0;
    // The four copy and move submenus, one item per rom path text, in that order.
    virtual void SetPathMenus(const std::vector<std::string>& pathTexts) = 0;
    virtual void SetCopyMoveEnabled(bool enabled) = 0;
    virtual void SetWindowEnabled(bool enabled) = 0;
};

// Where the scan database keeps its cache (a folder of its own: a rom path's cache file
// there never meets the main one's) and the settings it takes from the program.
struct TScanSettings {
    std::string CacheFolder;  // ends with "/"
    std::string TempDir;
    int CompressionLevel = -1;  // outside 0..9: the archive manager's own stays
};

namespace scan {
// The rom path text of a copy or move names no rom path of the main window.
QM_DECLARE_EXCEPTION(ETargetNotFound, Exception);
// A moved file whose copy is not there with the source's size is kept.
QM_DECLARE_EXCEPTION(ECopyNotChecked, Exception);
}  // namespace scan

class TScanSession {
public:
    TScanSession(TRomsBd& romsBd, TSignatureCalculator& calculator, TArchiveManager& archiveManager,
                 TFilesBd& mainFilesBd, IScanView& view, const TScanSettings& settings);
    ~TScanSession();
    TScanSession(const TScanSession&) = delete;
    TScanSession& operator=(const TScanSession&) = delete;

    TFilesBd& FilesBdLocal() { return filesBdLocal_; }
    const std::vector<TScanNode>& Nodes() const { return nodes_; }
    int FileCount() const { return fileCount_; }
    bool ShowNewRom() const { return showNewRom_; }
    bool CopyMoveEnabled() const { return copyMoveEnabled_; }
    const std::vector<std::string>& PathTexts() const { return pathTexts_; }

    // The name of the open datafile for the status bar; by default the settings'.
    std::function<std::string()> DatafileName;
    // After a copy or move changed a rom path of the main window: its game tree rebuilt,
    // then its status bar and counters updated.
    std::function<void()> OnRebuildMainTree;
    std::function<void()> OnUpdateMainStatus;
    // One line per file operation of the scan database.
    TLogEvent OnLog;

    // Files, folders and zips dropped on the window, in drop order. A "quarmelle.dat" is
    // skipped but counted. What the files database raises ends the drop; the nodes added
    // so far stay, and the cursor, the tree updates and the status bar come back.
    void Drop(const std::vector<std::string>& names);
    // After a datafile change, on show and by Refresh: vanished files dropped, the others
    // looked up again in the catalogue and matched, menus and tree rebuilt.
    void RefreshScan();
    // Every scanned file as nodes again, in path and list order.
    void RebuildTree();
    // The copy and move submenus from the main window's rom paths.
    void BuildPathMenus();
    // Copies (or moves) every scanned file holding a new rom into the main rom path of
    // that text. Nothing is overwritten; a file already in that folder is left alone; a
    // moved file is deleted only once its copy is there with the same size.
    void CopyMoveRoms(const std::string& pathText, bool move);
    // Forgets every scanned file.
    void Clear();
    // Only new roms shown (or everything again), and the tree rebuilt.
    void SetShowNewRom(bool on);
    // Alphabetical at every level, case ignored.
    void Sort();
    // Cuts every link into the rom database (placeholders go): called before the main
    // window clears or rebuilds its catalogue.
    void ForgetCatalogue();

    // A rom the user has no file of yet: known to the catalogue, found (not unknown, not
    // a placeholder, not a bad file name), and no file of the main rom paths holds it.
    static bool IsNewRom(const TRomFile& romFile);
    static bool HoldsNewRom(const TFile& file);
    // The gauge's step for count names: 100 / count, half to even.
    static int GaugeStep(int count);
    // Panel 0: the count, a blank and "files(s)".
    static std::string CountText(int count);

    // The nodes of one file as the tree lists them (a plain file's roms, at top level).
    std::vector<TScanNode> NodesOf(TFile* file) const;

private:
    TPath* PathFor(const std::string& folder);
    void AddFolder(const std::string& name, std::vector<TScanNode>& out);
    void AddArchive(const std::string& name, std::vector<TScanNode>& out);
    void AddFile(const std::string& name, std::vector<TScanNode>& out);
    void AddRomNodes(std::vector<TScanNode>& out, TFile* file) const;
    TScanNode FileNode(TFile* file) const;
    void DropVanishedFiles(bool warn);
    // The main window's case rules, read before every match.
    void FollowMainCaseRules();
    void SetCopyMoveEnabled(bool enabled);
    std::string OpenDatafileName() const;
    // The finally step of a copy or move.
    void AfterCopyMove(TPath* target, const std::vector<std::string>& movedSources);

    TRomsBd& romsBd_;
    TFilesBd& mainFilesBd_;
    IScanView& view_;
    TFilesBd filesBdLocal_;
    std::vector<TScanNode> nodes_;
    std::vector<std::string> pathTexts_;
    int fileCount_ = 0;
    bool showNewRom_ = false;
    bool copyMoveEnabled_ = false;
};

}  // namespace qm
