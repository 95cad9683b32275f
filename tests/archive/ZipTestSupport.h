#pragma once
// Zip archives for the tests of the zip layer, the archiver and the manager: a raw
// writer for archives no tool would write (unsafe names, data descriptors, damage),
// and the independent checkers (Info-ZIP zip and unzip, Python's zipfile and zlib).
#include <cstdint>
#include <string>
#include <vector>

namespace qm::test {

struct TRawEntry {
    std::string name;
    std::string data;          // stored as is (method 0)
    bool descriptor = false;   // sizes and CRC in a data descriptor after the data
    bool descriptorSignature = true;
};

// The bytes of a zip archive holding the entries stored, with an optional comment.
std::string RawZip(const std::vector<TRawEntry>& entries, const std::string& comment = {});

// CRC-32 of bytes, from Python's zlib (not from the code under test).
uint32_t PythonCrc(const std::string& path);

// "name size crc" per entry, one a line, as Python's zipfile reads the archive.
std::string PythonListing(const std::string& archive);
// The compression method of every entry as Python's zipfile reads it, one a line.
std::string PythonMethods(const std::string& archive);
// The date and time of every entry as Python's zipfile reads them, one a line.
std::string PythonTimes(const std::string& archive);
// The archive comment as Python's zipfile reads it.
std::string PythonComment(const std::string& archive);

// "name size crc" per entry, one a line, as "unzip -Z -v" reports them.
std::string UnzipVerboseListing(const std::string& archive);
// Exit status of "unzip -tqq archive".
int UnzipTest(const std::string& archive);
// The entry names as "unzip -Z1" gives them, one a line.
std::string UnzipNames(const std::string& archive);

// Runs a command in folder (Info-ZIP zip, say); returns its exit status.
int RunIn(const std::string& folder, const std::string& command);

// Every name in folder, recursively, relative to it, sorted, one a line.
std::string Tree(const std::string& folder);

}  // namespace qm::test
