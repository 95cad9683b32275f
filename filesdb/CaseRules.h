#pragma once
// The case rules that give a file or a rom its correct name. Letters are changed the way
// names are compared everywhere else (ASCII letters only), so that a name produced by a
// rule and the test that judges it never disagree about a letter outside ASCII.
#include <string>
#include <string_view>

#include "catalogue/CaseOptions.h"

namespace qm {

// Upper-cases the first character and every character that follows a blank, "(" or "["
// and is not one itself; everything else stays as it is.
std::string StrSmartCase(std::string_view text);

// The text under a case rule; coDatabase and coDontCare leave it unchanged.
std::string ApplyCaseOption(std::string_view text, TCaseOptions option);

}  // namespace qm
