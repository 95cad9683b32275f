// The entry-rename engine on random archives (built from the input, or the input's
// bytes as they are) and random rename requests. A rename that fails must leave the
// archive byte for byte as it was; one that succeeds must leave a sound archive with
// the same entries' data when the archive was sound before.
#include <fuzzer/FuzzedDataProvider.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

struct TListed {
    std::string name;
    uint64_t size;
    uint32_t crc;
};

// Lists (test 0) or tests (test 1) the archive through our own reader.
int Read(const std::string& archive, int test, std::vector<TListed>* listed) {
    DCL dcl;
    dcl.fQuiet = 2;
    dcl.ntflag = test;
    dcl.nvflag = !test;
    dcl.lpszZipFN = archive;
    USERFUNCTIONS f;
    f.print = [](const char*, unsigned long length) { return static_cast<int>(length); };
    f.SendApplicationMessage = [listed](uint64_t size, uint64_t, unsigned, unsigned, unsigned, unsigned, unsigned,
                                        unsigned, char, const char* name, const char*, uint32_t crc, char) {
        if (listed) listed->push_back({name, size, crc});
    };
    return Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, dcl, f);
}

// A name of few letters, so that names clash, differ in case only or share folders.
std::string SmallName(FuzzedDataProvider& in, size_t maxLength) {
    static const char kLetters[] = "aAbB/\\._ [";
    std::string name;
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, maxLength);
    for (size_t i = 0; i < length; ++i) name += kLetters[in.ConsumeIntegralInRange<size_t>(0, sizeof kLetters - 2)];
    return name;
}

// Builds an archive with libzip: entries of small names, stored or deflated, folders,
// comments.
void Build(FuzzedDataProvider& in, const std::string& archive) {
    int error = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!za) qm::fuzz::Fail("libzip cannot create an archive");
    const int count = in.ConsumeIntegralInRange(0, 8);
    std::vector<std::string> buffers;
    buffers.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string name = SmallName(in, 8);
        if (name.empty()) continue;
        if (name.back() == '/') {
            zip_dir_add(za, name.c_str(), ZIP_FL_ENC_RAW);
            continue;
        }
        buffers.push_back(in.ConsumeRandomLengthString(64));
        zip_source_t* src = zip_source_buffer(za, buffers.back().data(), buffers.back().size(), 0);
        const zip_int64_t index = zip_file_add(za, name.c_str(), src, ZIP_FL_ENC_RAW);
        if (index < 0) {
            zip_source_free(src);
            continue;
        }
        zip_set_file_compression(za, static_cast<zip_uint64_t>(index), in.ConsumeBool() ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
        if (in.ConsumeIntegralInRange(0, 7) == 0) {
            const std::string comment = in.ConsumeRandomLengthString(8);
            zip_file_set_comment(za, static_cast<zip_uint64_t>(index), comment.data(),
                                 static_cast<zip_uint16_t>(comment.size()), 0);
        }
    }
    if (in.ConsumeIntegralInRange(0, 7) == 0) {
        const std::string comment = in.ConsumeRandomLengthString(16);
        zip_set_archive_comment(za, comment.data(), static_cast<zip_uint16_t>(comment.size()));
    }
    if (zip_close(za) != 0) zip_discard(za);
    // libzip writes nothing for an archive without entries.
    std::string bytes;
    if (!qm::fuzz::ReadBytes(archive, bytes)) qm::fuzz::WriteBytes(archive, "");
}

// The same name with some of its letters changed (so mostly of the same length, which
// takes the in-place path).
std::string Variant(FuzzedDataProvider& in, const std::string& name) {
    std::string out = name;
    switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0: return UpperCase(name);
        case 1: return ExtractFileNameAnySep(name);
        case 2: {  // its folder
            const auto slash = name.find_last_of("/\\", name.size() >= 2 ? name.size() - 2 : 0);
            return slash == std::string::npos ? name : name.substr(0, slash + 1);
        }
        case 3:
            if (!out.empty()) out[in.ConsumeIntegralInRange<size_t>(0, out.size() - 1)] = in.ConsumeIntegral<char>();
            return out;
        case 4: return out + SmallName(in, 3);
        default: return SmallName(in, 10);
    }
}

// A valid DOS date and time, as the program's callers give them (the month is never
// 0, so no stamp can spell the signature of an end record).
uint32_t Stamp(FuzzedDataProvider& in) {
    const uint32_t date = in.ConsumeIntegralInRange(0, 127) << 9 | in.ConsumeIntegralInRange(1, 12) << 5 |
                          in.ConsumeIntegralInRange(1, 31);
    const uint32_t time = in.ConsumeIntegralInRange(0, 23) << 11 | in.ConsumeIntegralInRange(0, 59) << 5 |
                          in.ConsumeIntegralInRange(0, 29);
    return date << 16 | time;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = qm::fuzz::FreshDir("rename");
    const std::string archive = dir + "a.zip";
    if (size < 1) return 0;
    // With bit 0 of the first byte the input holds the archive: two bytes of length,
    // then its bytes; the rest chooses the renames.
    const bool raw = data[0] & 1;
    const size_t length = raw && size >= 3 ? static_cast<size_t>(data[1] | data[2] << 8) : 0;
    const size_t take = std::min(length, size >= 3 ? size - 3 : 0);
    const size_t skip = raw ? std::min<size_t>(size, 3 + take) : 1;
    FuzzedDataProvider in(data + skip, size - skip);
    if (raw) {
        qm::fuzz::WriteBytes(archive, std::string_view(reinterpret_cast<const char*>(data) + 3 * (size >= 3), take));
    } else {
        Build(in, archive);
        // Damage a few bytes of a sound archive now and then.
        std::string bytes;
        qm::fuzz::ReadBytes(archive, bytes);
        const int flips = (data[0] & 2) && !bytes.empty() ? in.ConsumeIntegralInRange(1, 3) : 0;
        for (int i = 0; i < flips; ++i)
            bytes[in.ConsumeIntegralInRange<size_t>(0, bytes.size() - 1)] = in.ConsumeIntegral<char>();
        if (flips) qm::fuzz::WriteBytes(archive, bytes);
    }

    std::string before;
    qm::fuzz::ReadBytes(archive, before);
    // To look into a finding: QM_FUZZ_DUMP=folder keeps the archive before and after.
    const char* dump = std::getenv("QM_FUZZ_DUMP");
    if (dump) qm::fuzz::WriteBytes(std::string(dump) + "/before.zip", before);
    std::vector<TListed> listedBefore;
    const bool soundBefore = Read(archive, 0, &listedBefore) == 0 && Read(archive, 1, nullptr) == 0;

    TRenameList list;
    const int items = in.ConsumeIntegralInRange(0, 5);
    for (int i = 0; i < items; ++i) {
        TRenameItem item;
        const std::string old = listedBefore.empty() || in.ConsumeIntegralInRange(0, 5) == 0
                                    ? SmallName(in, 10)
                                    : listedBefore[in.ConsumeIntegralInRange<size_t>(0, listedBefore.size() - 1)].name;
        item.OldName = in.ConsumeIntegralInRange(0, 3) == 0 ? Variant(in, old) : old;
        item.NewName = Variant(in, old);
        if (in.ConsumeIntegralInRange(0, 7) == 0) item.Stamp = static_cast<int32_t>(Stamp(in));
        list.push_back(std::move(item));
    }
    const uint32_t stamp = in.ConsumeIntegralInRange(0, 7) == 0 ? Stamp(in) : 0;

    bool renamed = false;
    try {
        RewriteZipNames(archive, list, stamp);
        renamed = true;
    } catch (const qm::Exception& e) {
        std::string after;
        qm::fuzz::ReadBytes(archive, after);
        Check(after == before, std::string("a failed rename changed the archive: ") + e.what());
    }
    if (dump) {
        std::string after;
        qm::fuzz::ReadBytes(archive, after);
        qm::fuzz::WriteBytes(std::string(dump) + "/after.zip", after);
        for (const auto& item : list)
            std::fprintf(stderr, "rename %s -> %s\n", Printable(item.OldName).c_str(), Printable(item.NewName).c_str());
    }
    const auto files = qm::fuzz::ListTree(dir);
    Check(files.size() == 1 && files[0] == "a.zip", "a rename left another file beside the archive");

    if (renamed && soundBefore) {
        std::vector<TListed> listedAfter;
        Check(Read(archive, 0, &listedAfter) == 0, "a renamed archive cannot be listed");
        Check(Read(archive, 1, nullptr) == 0, "a renamed archive fails its test");
        Check(listedAfter.size() == listedBefore.size(), "a rename changed the number of entries");
        auto key = [](const TListed& l) { return std::make_pair(l.crc, l.size); };
        std::vector<std::pair<uint32_t, uint64_t>> a, b;
        for (const auto& l : listedBefore) a.push_back(key(l));
        for (const auto& l : listedAfter) b.push_back(key(l));
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        Check(a == b, "a rename changed the data of the entries");
    }
    return 0;
}
