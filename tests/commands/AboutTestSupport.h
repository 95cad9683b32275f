#pragma once
// The datafile header the about box tests show: every field set, the comment holding
// markup.
#include "catalogue/config.h"

namespace qm::test {

inline TDataFile Header() {
    TDataFile h;
    h.FileName = "/tmp/qm-private/Mame.dat";
    h.Author = "Dat Maker";
    h.Email = "maker@dat.example";
    h.HomePage = "Dat Home";
    h.Url = "www.dat.example/mame/";
    h.CreditsVersion = "0.97";
    h.Date = "2005-03-01";
    h.EmuVersion = "MAME 0.97";
    h.RefName = "mame";
    h.PlugIn = "arcade.dll";
    h.Comment = {"first line", "second <b>line</b>"};
    return h;
}

}  // namespace qm::test
