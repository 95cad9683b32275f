// Zip inputs that fuzzing found mishandled by our unzip layer, kept so that they stay
// handled.
#include <gtest/gtest.h>

#include <algorithm>

#include "archive/UnZip32.h"
#include "archive/ZipTestSupport.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

using test::RawZip;
using test::TTempDir;
using test::WriteFile;

// The entries our own reader lists, with its result code.
int ListNames(const std::string& archive, std::vector<std::string>& names) {
    DCL dcl;
    dcl.fQuiet = 2;
    dcl.nvflag = 1;
    dcl.lpszZipFN = archive;
    USERFUNCTIONS f;
    f.print = [](const char*, unsigned long length) { return static_cast<int>(length); };
    f.SendApplicationMessage = [&names](uint64_t, uint64_t, unsigned, unsigned, unsigned, unsigned, unsigned,
                                        unsigned, char, const char* name, const char*, uint32_t, char) {
        names.push_back(name);
    };
    return Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, dcl, f);
}

std::string FromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// Six entries (two of them empty) whose headers all carry the time and date bytes
// "PK\5\6", the signature of the end record. With the zero CRC and sizes of an empty
// entry after them, they read as the record of an empty archive, and libzip, opened
// without its consistency check, takes that one: our reader lists no entry and calls
// it success, while Info-ZIP and Python read all six. An archive read as empty could
// be taken for one and removed; it must list its entries or be refused.
TEST(UnZip32Regression, EndSignatureInsideTheCentralDirectoryIsNotTheEnd) {
    TTempDir dir;
    const std::string archive = dir / "a.zip";
    WriteFile(archive, FromHex(
    "504b03040a0000000000504b0506b2b049d9040000000400000004000000422f5c2e41422e62504b0304140000000000"
    "504b0506000000000000000000000000080000002e5f205b6141622f504b0304140000000000504b0506000000000000"
    "000000000000050000002f2f2f2f2f504b0304140002000800504b050667ba8eeb0500000003000000050000002fee2e"
    "2e2eaba8ac0200504b0304140002000800504b05068d75a1600500000003000000010000002e4b48d40700504b030414"
    "0002000800504b05068d75a160050000000300000001000000204b48d40700504b01023f030a0000000000504b0506b2"
    "b049d90400000004000000040000000000000000000000b68100000000422f5c2e504b01023f03140000000000504b05"
    "06000000000000000000000000080000000000000000000000ff41260000002e5f205b6141622f504b01023f03140000"
    "000000504b0506000000000000000000000000050000000000000000000000ff414c0000002f2f2f2f2f504b01023f03"
    "140002000800504b050667ba8eeb0500000003000000050000000000000000000000b6816f0000002f2f2e2e2e504b01"
    "023f03140002000800504b05068d75a1600500000003000000010000000000000000000000b681970000002e504b0102"
    "3f03140002000800504b05068d75a1600500000003000000010000000000000000000000b681bb00000020504b050600"
    "000000060006002c010000df0000000000"));
    const std::string infoZip = test::UnzipNames(archive);
    ASSERT_EQ(std::count(infoZip.begin(), infoZip.end(), '\n'), 6);  // Info-ZIP reads them all

    std::vector<std::string> names;
    const int result = ListNames(archive, names);
    EXPECT_TRUE(result != 0 || names.size() == 6) << "listed as an archive of " << names.size() << " entries";
}

}  // namespace
}  // namespace qm
