#include "support/CallLogFileSystem.h"

namespace qm::test {

std::string TCallLogFileSystem::Call(int n) const {
    return n >= 1 && n <= static_cast<int>(calls.size()) ? calls[static_cast<size_t>(n - 1)] : std::string();
}

bool TCallLogFileSystem::CleansUp(int n, const std::string& folder) const {
    const std::string call = Call(n);
    for (const char* kind : {"Unlink ", "RemoveDir "}) {
        const std::string prefix = kind + folder;
        if (call.compare(0, prefix.size(), prefix) == 0) return true;
    }
    return false;
}

int TCallLogFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
    calls.push_back("RenameNoReplace " + from + " " + to);
    return inner_.RenameNoReplace(from, to);
}

int TCallLogFileSystem::ReplaceWith(const std::string& temporary, const std::string& target) {
    calls.push_back("ReplaceWith " + temporary + " " + target);
    return inner_.ReplaceWith(temporary, target);
}

int TCallLogFileSystem::Unlink(const std::string& path) {
    calls.push_back("Unlink " + path);
    return inner_.Unlink(path);
}

int TCallLogFileSystem::MakeDir(const std::string& path) {
    calls.push_back("MakeDir " + path);
    return inner_.MakeDir(path);
}

int TCallLogFileSystem::RemoveDir(const std::string& path) {
    calls.push_back("RemoveDir " + path);
    return inner_.RemoveDir(path);
}

int TCallLogFileSystem::WriteFileAtomic(const std::string& path, const std::string& data) {
    calls.push_back("WriteFileAtomic " + path);
    return inner_.WriteFileAtomic(path, data);
}

int TCallLogFileSystem::CopyFile(const std::string& from, const std::string& to, bool overwrite) {
    calls.push_back("CopyFile " + from + " " + to);
    return inner_.CopyFile(from, to, overwrite);
}

}  // namespace qm::test
