#pragma once
// The settings and the files database in one translation unit. The emulator profile
// (catalogue/Emulator.h) and the files database's case rules (filesdb/CaseRules.h)
// each declare qm::TCaseOptions, with the same codes but another underlying type, so
// the two headers cannot meet as they stand. Here the profile's copy is read under
// another name; the codes are the same, and the main window passes them across as
// integers. Include this instead of both headers wherever both are needed.
#include "filesdb/filesBd.h"

#define TCaseOptions TEmulatorCaseOptions
#define coDatabase emuCoDatabase
#define coUppercase emuCoUppercase
#define coLowercase emuCoLowercase
#define coCapitalize emuCoCapitalize
#define coDontCare emuCoDontCare
#include "catalogue/config.h"
#undef TCaseOptions
#undef coDatabase
#undef coUppercase
#undef coLowercase
#undef coCapitalize
#undef coDontCare
