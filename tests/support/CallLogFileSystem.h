#pragma once
// A file-system layer for fault-injection tests: passes every call to the layer below
// and writes down each changing call ("Unlink <path>", "RenameNoReplace <from> <to>"
// ...), so that a test that makes the Nth changing call fail can say which call that
// was, and tell a failed clean-up of a work file from a failed step of the repair.
// Installed above a TFaultyFileSystem, its list lines up with the faulty layer's count.
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace qm::test {

class TCallLogFileSystem : public IFileSystem {
public:
    explicit TCallLogFileSystem(IFileSystem& inner) : inner_(inner) {}
    TCallLogFileSystem(const TCallLogFileSystem&) = delete;
    TCallLogFileSystem& operator=(const TCallLogFileSystem&) = delete;

    std::vector<std::string> calls;  // the changing calls, in order

    // The nth changing call (1-based), or "" when there were fewer.
    std::string Call(int n) const;
    // True when the nth changing call removed something below folder: a clean-up.
    bool CleansUp(int n, const std::string& folder) const;

    int Stat(const std::string& path, TFileStat& out) override { return inner_.Stat(path, out); }
    int ListDir(const std::string& path, std::vector<TDirEntry>& out) override { return inner_.ListDir(path, out); }
    int ReadFile(const std::string& path, std::string& out) override { return inner_.ReadFile(path, out); }
    int RenameNoReplace(const std::string& from, const std::string& to) override;
    int ReplaceWith(const std::string& temporary, const std::string& target) override;
    int Open(const std::string& path, int flags, unsigned mode, int& fd) override {
        return inner_.Open(path, flags, mode, fd);
    }
    int Unlink(const std::string& path) override;
    int MakeDir(const std::string& path) override;
    int RemoveDir(const std::string& path) override;
    int WriteFileAtomic(const std::string& path, const std::string& data) override;
    int CopyFile(const std::string& from, const std::string& to, bool overwrite) override;
    int64_t FreeSpace(const std::string& path) override { return inner_.FreeSpace(path); }
    bool IsReadOnly(const std::string& path) override { return inner_.IsReadOnly(path); }

private:
    IFileSystem& inner_;
};

}  // namespace qm::test
