#pragma once
// The name filter of the views: a regular expression searched anywhere in a text,
// without regard to case. The pattern itself is never lower-cased, so that escapes
// such as \D and \W keep their meaning. An empty pattern, ".*" and a pattern that does
// not compile filter nothing.
#include <string>
#include <string_view>

#include <QRegularExpression>

namespace qm {

class TNameFilter {
public:
    explicit TNameFilter(const std::string& pattern);

    // Whether the pattern compiles (the filter box shows an invalid one as such).
    static bool IsValidPattern(const std::string& pattern);

    // False when the filter lets everything through.
    bool Active() const { return active_; }
    // Text is bytes; it passes when the expression is found in it (always when inactive).
    bool Matches(std::string_view text) const;

private:
    QRegularExpression expression_;
    bool active_ = false;
};

}  // namespace qm
