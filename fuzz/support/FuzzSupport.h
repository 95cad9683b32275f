#pragma once
// Helpers of the fuzz targets: one private temporary folder per fuzzing process, file
// writing and reading without exceptions, the listing of a folder tree, and a check
// that stops the run as a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::fuzz {

// The process's own folder under the system temporary folder (ends with "/"), made on
// first use and removed with everything in it when the process ends.
const std::string& Root();

// Root() + name + "/", emptied (or made) afresh.
std::string FreshDir(const std::string& name);

// Removes a file or a folder tree; quiet.
void Remove(const std::string& path);

void WriteBytes(const std::string& path, std::string_view bytes);
// False when the file cannot be read.
bool ReadBytes(const std::string& path, std::string& out);

// Every file and folder under dir, as paths relative to it, sorted; folders end with
// "/". Symbolic links are listed as files and not followed.
std::vector<std::string> ListTree(const std::string& dir);

// A finding: prints what went wrong and aborts, which libFuzzer reports as a crash.
[[noreturn]] void Fail(const std::string& what);

inline void Check(bool condition, const std::string& what) {
    if (!condition) Fail(what);
}

// A text with its control bytes shown as \xNN, for the messages of a finding.
std::string Printable(std::string_view bytes);

}  // namespace qm::fuzz
