// Names from datafiles and archives through the one rule that lets a name become a path,
// and through the entry-rename engine. A name the rule accepts, joined to a folder, must
// stay below that folder (checked by lexical normalisation, not by the rule's own
// code); a set name must also hold no separator. A rename the engine carries out must
// leave only such names among those it wrote, and extracting the renamed archive with
// its inner folders must create nothing outside the extraction folder.
#include <fuzzer/FuzzedDataProvider.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/UnZip32.h"
#include "archive/ZipNameRewriter.h"
#include "archive/stringsTools.h"
#include "support/FuzzSupport.h"

using namespace qm;
using qm::fuzz::Check;
using qm::fuzz::Printable;

namespace {

// Letters that make names interesting for paths: separators of both kinds, dots, a NUL.
std::string PathishName(FuzzedDataProvider& in, size_t maxLength) {
    static const char kLetters[] = {'a', 'b', '/', '\\', '.', '.', '.', '\0', 'x'};
    std::string name;
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, maxLength);
    for (size_t i = 0; i < length; ++i) {
        if (in.ConsumeIntegralInRange(0, 15) == 0)
            name += in.ConsumeIntegral<char>();
        else
            name += kLetters[in.ConsumeIntegralInRange<size_t>(0, sizeof kLetters - 1)];
    }
    return name;
}

// True when base + name, "\" read as "/", stays strictly below base.
bool StaysBelow(const std::string& name) {
    std::string slashed = name;
    for (char& c : slashed)
        if (c == '\\') c = '/';
    if (slashed.empty() || slashed.find('\0') != std::string::npos) return false;
    const std::filesystem::path base("/base");
    const std::filesystem::path joined = (base / slashed).lexically_normal();
    const std::string text = joined.string();
    return text.size() > 6 && text.compare(0, 6, "/base/") == 0 && slashed.front() != '/';
}

void CheckRule(const std::string& name) {
    if (IsSafeName(name, true))
        Check(StaysBelow(name), "an accepted entry name escapes its folder: " + Printable(name));
    if (IsSafeName(name, false)) {
        Check(StaysBelow(name), "an accepted set name escapes its folder: " + Printable(name));
        Check(name.find_first_of("/\\") == std::string::npos, "an accepted set name holds a separator: " + Printable(name));
        Check(IsSafeName(name, true), "a set name is accepted but not as an entry name: " + Printable(name));
    }
    Check(UnsafeNameMessage(name, true).empty() == IsSafeName(name, true), "message and rule disagree");
}

std::vector<std::string> Listed(const std::string& archive) {
    std::vector<std::string> names;
    DCL dcl;
    dcl.fQuiet = 2;
    dcl.nvflag = 1;
    dcl.lpszZipFN = archive;
    USERFUNCTIONS f;
    f.print = [](const char*, unsigned long length) { return static_cast<int>(length); };
    f.SendApplicationMessage = [&names](uint64_t, uint64_t, unsigned, unsigned, unsigned, unsigned, unsigned, unsigned,
                                        char, const char* name, const char*, uint32_t, char) { names.push_back(name); };
    if (Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, dcl, f) != 0) names.clear();
    return names;
}

void ExtractAll(const std::string& archive, const std::string& dir) {
    DCL dcl;
    dcl.fQuiet = 2;
    dcl.ndflag = 1;
    dcl.noflag = 1;
    dcl.lpszZipFN = archive;
    dcl.lpszExtractDir = dir;
    USERFUNCTIONS f;
    f.print = [](const char*, unsigned long length) { return static_cast<int>(length); };
    Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, dcl, f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = qm::fuzz::FreshDir("names");
    FuzzedDataProvider in(data, size);
    const std::string archive = dir + "a.zip";
    const std::string out = dir + "out/";
    qm::fuzz::Remove(archive);
    qm::fuzz::Remove(dir + "out");

    // Safe entry names only in the archive: what the engine writes is what is tested.
    int error = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!za) qm::fuzz::Fail("libzip cannot create an archive");
    std::vector<std::string> original;
    const int count = in.ConsumeIntegralInRange(1, 4);
    for (int i = 0; i < count; ++i) {
        std::string name = PathishName(in, 8);
        CheckRule(name);
        if (!IsSafeName(name, true) || name.find('\\') != std::string::npos || name.back() == '/') continue;
        zip_source_t* src = zip_source_buffer(za, "x", 1, 0);
        if (zip_file_add(za, name.c_str(), src, ZIP_FL_ENC_RAW) < 0) {
            zip_source_free(src);
            continue;
        }
        original.push_back(name);
    }
    if (zip_close(za) != 0) zip_discard(za);
    if (original.empty()) return 0;

    TRenameList list;
    const int items = in.ConsumeIntegralInRange(1, 3);
    for (int i = 0; i < items; ++i) {
        TRenameItem item;
        item.OldName = in.ConsumeBool() ? original[in.ConsumeIntegralInRange<size_t>(0, original.size() - 1)]
                                        : PathishName(in, 6);
        item.NewName = PathishName(in, 10);
        CheckRule(item.OldName);
        CheckRule(item.NewName);
        list.push_back(std::move(item));
    }
    try {
        RewriteZipNames(archive, list, 0);
    } catch (const qm::Exception&) {
        return 0;
    }
    for (const std::string& name : Listed(archive)) {
        bool kept = false;
        for (const std::string& o : original) kept = kept || o == name;
        if (!kept) Check(IsSafeName(name, true) && StaysBelow(name), "the engine wrote an unsafe name: " + Printable(name));
    }
    ExtractAll(archive, out);
    for (const std::string& entry : qm::fuzz::ListTree(dir))
        Check(entry == "a.zip" || entry.compare(0, 4, "out/") == 0, "an extraction wrote outside its folder: " + entry);
    return 0;
}
