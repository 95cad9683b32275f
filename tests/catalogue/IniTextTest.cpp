#include <gtest/gtest.h>

#include "catalogue/IniText.h"

using namespace qm;

TEST(IniText, FirstSectionAndFirstKeyWinWithoutRegardToCase) {
    const std::string text =
        "top=ignored\r\n"
        "[Credits]\r\n"
        "Author =  Someone Else \t\r\n"
        "author=second\n"
        "url=http://x/?a=b\r"
        "novalue\r\n"
        "Empty=\r\n"
        "  [ DAT ]  \r\n"
        "VERSION=2.00\r\n"
        "[credits]\r\n"
        "Email=hidden\r\n"
        "[games]\r\n"
        "\xAC" "a=b\xAC" "c\xAC\r\n";
    TIniText ini(text);
    EXPECT_EQ(ini.ReadString("CREDITS", "author", "d"), "Someone Else");
    EXPECT_EQ(ini.ReadString("credits", "URL", "d"), "http://x/?a=b");  // only the first "=" splits
    EXPECT_EQ(ini.ReadString("credits", "Empty", "d"), "");            // present but empty: no default
    EXPECT_EQ(ini.ReadString("credits", "novalue", "d"), "d");
    EXPECT_EQ(ini.ReadString("credits", "Email", "d"), "d");  // a later section of the same name is not read
    EXPECT_EQ(ini.ReadString("dat", "version", "d"), "2.00");
    EXPECT_EQ(ini.ReadString("dat", "author", "d"), "d");     // keys stay in their section
    EXPECT_EQ(ini.ReadString("", "top", "d"), "d");
    EXPECT_EQ(ini.ReadString("emulator", "refname", "none"), "none");
    EXPECT_TRUE(ini.SectionExists("Games"));
    EXPECT_FALSE(ini.SectionExists("resources"));
    std::string_view value = "kept";
    EXPECT_FALSE(ini.FindValue("dat", "plugin", value));
    EXPECT_EQ(value, "kept");
}
