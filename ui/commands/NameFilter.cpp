// The views' name filter: a case-blind regular expression over byte texts.
#include "ui/commands/NameFilter.h"

#include "ui/commands/TextConv.h"

namespace qm {

namespace {

QRegularExpression Compile(const std::string& pattern) {
    return QRegularExpression(ui::ToQ(pattern), QRegularExpression::CaseInsensitiveOption);
}

}  // namespace

TNameFilter::TNameFilter(const std::string& pattern) {
    if (pattern.empty() || pattern == ".*") return;
    expression_ = Compile(pattern);
    active_ = expression_.isValid();
}

bool TNameFilter::IsValidPattern(const std::string& pattern) { return pattern.empty() || Compile(pattern).isValid(); }

bool TNameFilter::Matches(std::string_view text) const {
    if (!active_) return true;
    return expression_.match(ui::ToQ(std::string(text))).hasMatch();
}

}  // namespace qm
