#pragma once
// Helpers shared by every test suite.
#include <map>
#include <optional>
#include <string>

namespace qm::test {

// A fresh private folder under the system temporary folder, removed with everything
// in it when the object goes. Path() ends with "/".
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Writes bytes to a file, creating its folders.
void WriteFile(const std::string& path, const std::string& bytes);
// The bytes of a file; throws when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// Runs a shell command (for the independent checkers: zip, unzip, python3) and returns
// its standard output; exitCode receives the exit status when given.
std::string RunCommand(const std::string& command, int* exitCode = nullptr);

// Quotes a text for the shell.
std::string ShellQuote(const std::string& text);

// Sets (or, with nullptr, unsets) an environment variable for the lifetime of the
// object, then gives it back its former value.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const char* value);
    TScopedEnv(const char* name, const std::string& value) : TScopedEnv(name, value.c_str()) {}
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

// How many files hold each content (by its CRC or another key of the caller's).
using TContentCounts = std::map<std::string, int>;

// After a run whose Nth file-system call failed: every content the collection had
// before and the good run kept is still there, as many times as the good run kept it.
void ExpectNothingLost(const TContentCounts& before, const TContentCounts& goodAfter,
                       const TContentCounts& failedAfter);
// And nothing is there that neither the collection nor the good run had.
void ExpectNothingFromNowhere(const TContentCounts& before, const TContentCounts& goodAfter,
                              const TContentCounts& failedAfter);

}  // namespace qm::test
