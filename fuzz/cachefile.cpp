// The cache-file reader on arbitrary text: record lines are decoded or refused with a
// reason; a decoded record is written back and decodes the same; escaping reads back.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "filesdb/CacheFileUnit.h"
#include "support/FuzzSupport.h"

using namespace qm;
using qm::fuzz::Check;
using qm::fuzz::Printable;

namespace {

bool Same(const TCacheRecord& a, const TCacheRecord& b) {
    return a.kind == b.kind && a.fileName == b.fileName && a.romName == b.romName && a.fileSize == b.fileSize &&
           a.fileDate == b.fileDate && a.crc == b.crc && a.extension == b.extension && a.romSize == b.romSize &&
           a.romDate == b.romDate && a.errorText == b.errorText && a.comment == b.comment;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    TCacheReader reader(text);
    for (int i = 0; i < reader.LineCount(); ++i) {
        TCacheRecord record;
        std::string problem;
        if (!reader.Record(i, record, problem)) continue;
        const std::string line = TCacheFile::FormatRecord(record);
        Check(!line.empty(), "a decoded record has no line");
        Check(line.find_first_of("\r\n") == std::string::npos, "a record line holds a line break: " + Printable(line));
        TCacheRecord again;
        Check(TCacheFile::ParseRecord(line, again, problem), "a written record is refused: " + problem);
        Check(Same(record, again), "a record does not read back: " + Printable(line));
    }
    Check(TCacheFile::Unescape(TCacheFile::Escape(text)) == text, "escaping does not read back");
    int64_t key = 0;
    (void)TCacheFile::ParseHeaderTime(text.substr(0, 64), key);

    static const std::string dir = qm::fuzz::FreshDir("cache");
    qm::fuzz::WriteBytes(dir + "quarmelle1.dat", text);
    TCacheHeader header;
    (void)TCacheFile::ReadHeader(dir + "quarmelle1.dat", header);
    return 0;
}
