#include <gtest/gtest.h>

#include <functional>
#include <typeinfo>

#include "archive/archive.h"

using namespace qm;
using namespace qm::archive;

namespace {

// What a code must raise: the exact class (compared by typeid, since a catch also takes
// children), the middle class callers catch it by, and the text.
struct TExpected {
    int code;
    const std::type_info* type;  // nullptr: nothing raised
    std::function<bool(const EArchiveException&)> isMiddle;
    std::string message;
};

template <class E>
std::function<bool(const EArchiveException&)> Is() {
    return [](const EArchiveException& e) { return dynamic_cast<const E*>(&e) != nullptr; };
}

const std::string kDeg = "\xC2\xB0";

void ExpectRaises(const std::function<void()>& call, const TExpected& want, const char* side) {
    SCOPED_TRACE(std::string(side) + " code " + std::to_string(want.code));
    try {
        call();
        EXPECT_EQ(want.type, nullptr) << "nothing raised";
    } catch (const EArchiveException& e) {
        ASSERT_NE(want.type, nullptr) << "raised " << e.Message();
        EXPECT_EQ(typeid(e), *want.type);
        EXPECT_TRUE(want.isMiddle(e));
        EXPECT_EQ(e.Message(), want.message);
        EXPECT_EQ(e.ArchiveName, "roms/x.zip");
        EXPECT_EQ(e.FileName, "a.bin");
    }
}

}  // namespace

TEST(ArchiveErrors, ZipCodesMapToTheirClassAndText) {
    const std::vector<TExpected> table = {
        {0, nullptr, nullptr, ""},
        {1, &typeid(ESystemError), Is<ESystemError>(), "Unknown error n" + kDeg + " 1"},
        {2, &typeid(EZE_EOF), Is<ECorrupted>(), "Unexpected EOF"},
        {3, &typeid(EZE_FORM), Is<ECorrupted>(), "Zip file structure invalid"},
        {4, &typeid(EZE_MEM), Is<EMemoryError>(), "Out of memory"},
        {5, &typeid(EZE_LOGIC), Is<ESystemError>(), "Internal logic error"},
        {6, &typeid(EZE_BIG), Is<EMemoryError>(), "Entry too large to split"},
        {7, &typeid(EZE_NOTE), Is<ESystemError>(), "Invalid comment format"},
        {8, &typeid(EZE_TEST), Is<ECorrupted>(), "Zip file invalid or could not spawn unzip"},
        {9, &typeid(EZE_ABORT), Is<EError>(), "Interrupted"},
        {10, &typeid(EZE_TEMP), Is<ESystemError>(), "Temporary file failure"},
        {11, &typeid(EZE_READ), Is<ESystemError>(), "Input file read failure"},
        {12, &typeid(EZE_NONE), Is<EError>(), "Nothing to do"},
        {13, &typeid(EZE_NAME), Is<EError>(), "Missing or empty zip file"},
        {14, &typeid(EZE_WRITE), Is<ESystemError>(), "Output file write failure"},
        {15, &typeid(EZE_CREAT), Is<ESystemError>(), "Could not create output file"},
        {16, &typeid(EZE_PARMS), Is<ESystemError>(), "Invalid command arguments"},
        {17, &typeid(ESystemError), Is<ESystemError>(), "Unknown error n" + kDeg + " 17"},
        {18, &typeid(EZE_OPEN), Is<EError>(), "File not found or no read permission"},
        {19, &typeid(ESystemError), Is<ESystemError>(), "Unknown error n" + kDeg + " 19"},
        {-3, &typeid(ESystemError), Is<ESystemError>(), "Unknown error n" + kDeg + " -3"},
    };
    for (const TExpected& want : table)
        ExpectRaises([&] { CheckZipResult(want.code, "roms/x.zip", "a.bin"); }, want, "zip");
}

TEST(ArchiveErrors, UnzipCodesStrictAndNot) {
    struct TRow {
        TExpected want;
        bool strictOnly;
    };
    const std::vector<TRow> table = {
        {{0, nullptr, nullptr, ""}, false},
        {{1, nullptr, nullptr, ""}, false},
        {{2, &typeid(EPK_ERR), Is<ECorrupted>(), "Errors in zipfile"}, true},
        {{3, &typeid(EPK_BADERR), Is<ECorrupted>(), "Severes errors in zipfile"}, true},
        {{4, &typeid(EPK_MEM), Is<EMemoryError>(), "Out of memory"}, false},
        {{5, &typeid(EPK_MEM2), Is<EMemoryError>(), "Out of memory"}, false},
        {{6, &typeid(EPK_MEM3), Is<EMemoryError>(), "Out of memory"}, false},
        {{7, &typeid(EPK_MEM4), Is<EMemoryError>(), "Out of memory"}, false},
        {{8, &typeid(ESystemError), Is<ESystemError>(), "Unknown error n" + kDeg + " 8"}, false},
        {{9, &typeid(EPK_NOZIP), Is<EError>(), "Probably not a zip"}, true},
        {{10, &typeid(EPK_PARAM), Is<ESystemError>(), "Invalid command arguments"}, false},
        {{11, &typeid(EPK_FIND), Is<EError>(), "File Not Found."}, false},
        {{12, &typeid(ESystemError), Is<ESystemError>(), "Unknown error n" + kDeg + " 12"}, false},
        {{49, &typeid(ESystemError), Is<ESystemError>(), "Unknown error n" + kDeg + " 49"}, false},
        {{50, &typeid(EPK_DISK), Is<EADiskFull>(), "Disk full"}, false},
        {{51, &typeid(EPK_EOF), Is<ECorrupted>(), "Unexpected EOF"}, true},
        {{52, &typeid(ESystemError), Is<ESystemError>(), "Unknown error n" + kDeg + " 52"}, false},
        {{100, &typeid(EFileNotFound), Is<EError>(), "File Not Found."}, false},
        {{101, &typeid(ESystemError), Is<ESystemError>(), "Unknown error n" + kDeg + " 101"}, false},
    };
    for (const TRow& row : table) {
        ExpectRaises([&] { CheckUnzipResult(row.want.code, true, "roms/x.zip", "a.bin"); },
                     row.want, "strict unzip");
        TExpected lax = row.want;
        if (row.strictOnly) lax.type = nullptr;
        ExpectRaises([&] { CheckUnzipResult(row.want.code, false, "roms/x.zip", "a.bin"); }, lax,
                     "test unzip");
    }
}

TEST(ArchiveErrors, EveryClassIsAnArchiveException) {
    // Callers catch by the base, the middle classes or the program's base exception.
    try {
        throw EPathNotFound("x", "a.zip");
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "x");
        auto* archiveError = dynamic_cast<const EArchiveException*>(&e);
        ASSERT_NE(archiveError, nullptr);
        EXPECT_EQ(archiveError->ArchiveName, "a.zip");
        EXPECT_EQ(archiveError->FileName, "");
    }
    EXPECT_THROW(throw EZE_CantSetZipOption("Error setting Zip Options"), ESystemError);
    EXPECT_THROW(throw EPK_DISK("Disk full"), EADiskFull);
    EXPECT_THROW(throw EFileExist("f"), EError);
    EXPECT_THROW(throw ENoFileSpecified("f"), EError);
    EXPECT_THROW(throw EPathExist("f"), EError);
}

TEST(ArchiveItem, SplitsNamesAndFormatsTheCrc) {
    struct TRow {
        std::string entry;
        std::string name, path, full;
    };
    const std::vector<TRow> table = {
        {"roms/a.bin", "a.bin", "roms/", "roms/a.bin"},
        {"a.bin", "a.bin", "/", "a.bin"},
        {"a/b/c.rom", "c.rom", "a/b/", "a/b/c.rom"},
        {"old\\x.bin", "x.bin", "old/", "old/x.bin"},  // a stored "\" is read as "/"
        {"dir/", "", "dir/", "dir/"},
    };
    for (const TRow& row : table) {
        SCOPED_TRACE(row.entry);
        TArchiveItem item = TArchiveItem::FromEntry(row.entry, 5000000000LL, 0xABCD);
        EXPECT_EQ(item.Name, row.name);
        EXPECT_EQ(item.Path, row.path);
        EXPECT_EQ(item.GetFullName(), row.full);
        EXPECT_EQ(item.Size, 5000000000LL);  // sizes over 4 GiB survive
        EXPECT_EQ(item.Crc, "0000abcd");
    }
    EXPECT_EQ(CrcToText(0xFFFFFFFFu), "ffffffff");
    EXPECT_EQ(CrcToText(0), "00000000");
}

TEST(ArchiveBase, DoesNothingAndAppendsNothing) {
    TArchive base;
    TArchiveItems items(1);
    base.GetFileList("x.zip", items);
    EXPECT_EQ(items.size(), 1u);
    EXPECT_EQ(base.CompressionLevel, 0);
    base.SetCompressionLevel(9);
    EXPECT_EQ(base.CompressionLevel, 9);
}
