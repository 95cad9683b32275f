// The name filter's pattern from the box's text, its validity, and the history of the
// texts entered.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/commands/NameFilter.h"
#include "ui/commands/ViewFilters.h"

namespace qm::test {
namespace {

using Strings = std::vector<std::string>;

TEST(NameFilterPatternTest, BracketsMatchThemselvesAndStarsAnyRun) {
    const struct {
        const char* text;
        const char* pattern;
    } cases[] = {
        {"*", ".*"},
        {"pac*", "pac.*"},
        {"Ms. Pac(Man)*", "Ms. Pac\\(Man\\).*"},
        {"[a]*b", "\\[a\\].*b"},
        {"a?b.c", "a?b.c"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(NameFilterPattern(c.text), c.pattern) << c.text;

    const TNameFilter filter(NameFilterPattern("pac (man)*"));
    EXPECT_TRUE(filter.Matches("Super PAC (Man) deluxe")) << "anywhere, without regard to case";
    EXPECT_FALSE(filter.Matches("pacman"));
    EXPECT_TRUE(TNameFilter(NameFilterPattern("[1982]")).Matches("Xevious [1982]"));
    EXPECT_FALSE(TNameFilter(NameFilterPattern("[1982]")).Matches("Xevious 1"));
}

TEST(NameFilterPatternTest, InvalidPatternsAreNamed) {
    for (const char* bad : {"?pac", "+pac", "pac\\"}) EXPECT_NE(NameFilterError(NameFilterPattern(bad)), "") << bad;
    for (const char* good : {"*", "pac*", "", "a?b", "(x)"}) EXPECT_EQ(NameFilterError(NameFilterPattern(good)), "") << good;
}

TEST(FilterHistoryTest, FiveNewestFirstWithoutRegardToCase) {
    TFilterHistory history;
    for (const char* text : {"a*", "b*", "c*", "d*", "e*", "f*"}) history.Add(text);
    EXPECT_EQ(history.Entries(), (Strings{"f*", "e*", "d*", "c*", "b*"}));
    history.Add("D*");
    EXPECT_EQ(history.Entries(), (Strings{"D*", "f*", "e*", "c*", "b*"})) << "moved up, not duplicated";
    history.Add("b*");
    EXPECT_EQ(history.Entries(), (Strings{"b*", "D*", "f*", "e*", "c*"})) << "the last entry moves up, none is lost";
    history.Add("");
    EXPECT_EQ(history.Entries().size(), 5u);
}

}  // namespace
}  // namespace qm::test
