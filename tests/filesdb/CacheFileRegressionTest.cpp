// Cache-file inputs that fuzzing found mishandled, kept so that they stay handled.
#include <gtest/gtest.h>

#include "filesdb/CacheFileUnit.h"

namespace qm {
namespace {

const std::string S = "\xA4";

// A cache file edited by hand (or written by another tool) may hold a CRC in upper
// case; it must come back lower-cased like every CRC of the program, so that the
// record matches its rom and reads back as it is written.
TEST(CacheFileRegression, UpperCaseCrcReadsLowerCasedAndRoundTrips) {
    const std::string lines[] = {
        S + "D" + S + "folder" + S + "rom.bin" + S + "-1" + S + "1" + S + "0ABCDEF" + S + S + S,
        S + "A" + S + "g.zip" + S + "10" + S + S + "r.bin" + S + "4" + S + "DEADBEEF" + S + ".bin" + S + S,
        S + "F" + S + "loose.bin" + S + "3" + S + S + "N/A" + S + S + S,
    };
    const std::string expected[] = {"0abcdef", "deadbeef", "n/a"};
    for (size_t i = 0; i < std::size(lines); ++i) {
        SCOPED_TRACE(lines[i]);
        TCacheRecord record, again;
        std::string problem;
        ASSERT_TRUE(TCacheFile::ParseRecord(lines[i], record, problem)) << problem;
        EXPECT_EQ(record.crc, expected[i]);
        ASSERT_TRUE(TCacheFile::ParseRecord(TCacheFile::FormatRecord(record), again, problem)) << problem;
        EXPECT_EQ(again.crc, record.crc);
        EXPECT_EQ(again.romName, record.romName);
    }
}

}  // namespace
}  // namespace qm
