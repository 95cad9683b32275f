#include "filesdb/CaseRules.h"

#include "archive/stringsTools.h"

namespace qm {

namespace {
bool IsSmartCaseDelimiter(char c) { return c == ' ' || c == '(' || c == '['; }
}  // namespace

std::string StrSmartCase(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        if (i == 0 || (IsSmartCaseDelimiter(out[i - 1]) && !IsSmartCaseDelimiter(out[i])))
            out[i] = UpperChar(out[i]);
    }
    return out;
}

std::string ApplyCaseOption(std::string_view text, TCaseOptions option) {
    switch (option) {
        case coUppercase: return UpperCase(text);
        case coLowercase: return LowerCase(text);
        case coCapitalize: return StrSmartCase(LowerCase(text));
        case coDatabase:
        case coDontCare: break;
    }
    return std::string(text);
}

}  // namespace qm
