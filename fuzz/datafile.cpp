// The datafile reader on arbitrary files: header and rom lines. A file is refused with
// one of the datafile exceptions or read; what was read is written back and must read
// back the same.
#include <string>

#include "archive/stringsTools.h"
#include "catalogue/DataFile.h"
#include "support/FuzzSupport.h"

using namespace qm;
using qm::fuzz::Check;

namespace {

void CheckItems(const TDataFileItems& items) {
    for (const auto& item : items) {
        Check(item.Crc == LowerCase(item.Crc), "a CRC is not lower-cased");
    }
}

bool SameItems(const TDataFileItems& a, const TDataFileItems& b) {
    if (a.Count() != b.Count()) return false;
    for (size_t i = 0; i < a.Count(); ++i) {
        const auto &x = a.GetItem(i), &y = b.GetItem(i);
        if (x.ParentName != y.ParentName || x.ParentDescription != y.ParentDescription ||
            x.GameName != y.GameName || x.GameDescription != y.GameDescription || x.RomName != y.RomName ||
            x.Crc != y.Crc || x.Size != y.Size || x.RomOf != y.RomOf || x.Merge != y.Merge)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string dir = qm::fuzz::FreshDir("dat");
    const std::string name = dir + "input.dat";
    qm::fuzz::WriteBytes(name, std::string_view(reinterpret_cast<const char*>(data), size));

    TDatafile dat;
    dat.TempDir = qm::fuzz::FreshDir("dat-temp");
    dat.SetDataFileName(name);
    try {
        dat.LoadFromFile();
    } catch (const qm::Exception&) {
        return 0;  // refused with a clear error
    }
    CheckItems(dat.GameItems);
    CheckItems(dat.ResourceItems);

    // A saved "2.00" file whose first game line has "N" or "O" as its set is read in the
    // old layout: the format cannot tell the two apart, so such lists are not compared.
    if (dat.GameItems.Count() > 0 && (dat.GameItems.GetItem(0).RomOf == "N" || dat.GameItems.GetItem(0).RomOf == "O"))
        return 0;
    const std::string copy = dir + "copy.dat";
    dat.SaveToFile(copy);
    TDatafile again;
    again.TempDir = dat.TempDir;
    again.SetDataFileName(copy);
    again.LoadFromFile();
    Check(SameItems(dat.GameItems, again.GameItems), "game lines do not read back as written");
    Check(SameItems(dat.ResourceItems, again.ResourceItems), "resource lines do not read back as written");
    Check(again.Author == dat.Author && again.Refname == dat.Refname && again.EmuVersion == dat.EmuVersion &&
              again.Comment == dat.Comment && again.Version == dat.Version,
          "the header does not read back as written");
    qm::fuzz::Remove(copy);
    return 0;
}
