#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "catalogue/QMXmlParser.h"
#include "support/TestSupport.h"

using namespace qm;
using qm::test::RunCommand;
using qm::test::ShellQuote;
using qm::test::TTempDir;
using qm::test::WriteFile;

namespace {

using TPairs = std::vector<std::pair<std::string, std::string>>;

TPairs InfosOf(const TQmXmlConfigParser& p) {
    TPairs out;
    for (const auto& i : p.Infos) out.emplace_back(i.Caption, i.Url);
    return out;
}

TPairs SitesOf(const TQmXmlConfigParser& p) {
    TPairs out;
    for (const auto& u : p.WebUpdates) out.emplace_back(u.SiteName, u.Url);
    return out;
}

// A file as the program ships it: two emulators and two update blocks.
const char* const kConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- pages where a game can be looked up -->
<QuarmelleConfigFile>
  <datafile referencename="MAME" homepage="https://example.org/mame" playcommand="%1">
    <webgamepage caption="Arcade History" url="https://history.example/?game=%1&amp;lang=en"/>
    <webdownloadpage caption="Downloads" url="https://dl.example/"/>
    <WebGamePage
        Caption="Curl pages"
        URL="https://curl.example/%1"
    />
    <webgamepage caption="No address"/>
    <webgamepage url="https://nocaption.example/%1"/>
  </datafile>
  <datafile referencename="nes">
    <webgamepage caption="NES db" url="https://nes.example/%1"/>
  </datafile>
  <webupdate>
    <site sitename="Main site" url="https://dat.example/list.txt?a=1&amp;b=2"/>
    <site sitename="Site without address"/>
  </webupdate>
  <webupdate sitename="Mirror" url="https://mirror.example/list.txt">
    <site url="https://address-without-name.example/"/>
  </webupdate>
</QuarmelleConfigFile>
)";

class XmlParserTest : public ::testing::Test {
protected:
    std::string Write(const std::string& text) {
        const std::string name = dir_ / "config.xml";
        WriteFile(name, text);
        parser_.SetConfigXmlFileName(name);
        return name;
    }

    TTempDir dir_;
    TQmXmlConfigParser parser_;
};

}  // namespace

TEST_F(XmlParserTest, TheFixtureIsWellFormed) {
    int code = -1;
    RunCommand("command -v xmllint", &code);
    if (code != 0) GTEST_SKIP() << "xmllint is not installed";
    const std::string name = Write(kConfig);
    RunCommand("xmllint --noout " + ShellQuote(name) + " 2>&1", &code);
    EXPECT_EQ(code, 0);
}

TEST_F(XmlParserTest, PagesOfTheMatchingEmulatorAndEveryUpdateSite) {
    Write(kConfig);
    parser_.SetEmulatorRefName("mame");
    EXPECT_EQ(parser_.EmulatorRefName(), "mame");
    // One item per page, names in any case, the entry spread over several lines once,
    // "url" inside a caption not taken for the address, entries without address left out.
    EXPECT_EQ(InfosOf(parser_), (TPairs{{"Arcade History", "https://history.example/?game=%1&lang=en"},
                                        {"Curl pages", "https://curl.example/%1"},
                                        {"", "https://nocaption.example/%1"}}));
    const TPairs sites{{"Main site", "https://dat.example/list.txt?a=1&b=2"},
                       {"Mirror", "https://mirror.example/list.txt"}};
    EXPECT_EQ(SitesOf(parser_), sites);

    const struct {
        const char* name;
        TPairs infos;
    } cases[] = {
        {"NES", {{"NES db", "https://nes.example/%1"}}},
        {"snes", {}},
        {"", {}},  // no emulator: update sites only
    };
    for (const auto& c : cases) {
        parser_.SetEmulatorRefName(c.name);
        EXPECT_EQ(InfosOf(parser_), c.infos) << c.name;
        EXPECT_EQ(SitesOf(parser_), sites) << c.name;
    }
}

TEST_F(XmlParserTest, EveryAssignmentReadsTheFileAgain) {
    const std::string name = Write(kConfig);
    parser_.SetEmulatorRefName("nes");
    ASSERT_EQ(parser_.Infos.Count(), 1u);
    WriteFile(name, "<quarmelleconfigfile><datafile referencename='nes'>"
                    "<webgamepage caption='a' url='u1'/><webgamepage caption='b' url='u2'/>"
                    "</datafile></quarmelleconfigfile>");
    parser_.SetEmulatorRefName("nes");
    EXPECT_EQ(InfosOf(parser_), (TPairs{{"a", "u1"}, {"b", "u2"}}));
    EXPECT_TRUE(parser_.WebUpdates.Count() == 0);

    // Pointing at another file forgets the pages and the name, and reads nothing.
    WriteFile(name, kConfig);
    parser_.SetEmulatorRefName("mame");
    parser_.SetConfigXmlFileName(dir_ / "other.xml");
    EXPECT_EQ(parser_.Infos.Count(), 0u);
    EXPECT_EQ(parser_.EmulatorRefName(), "");
    EXPECT_EQ(parser_.WebUpdates.Count(), 2u);
}

TEST_F(XmlParserTest, ReferenceNameOnAnElementOfTheBlock) {
    Write("<quarmelleconfigfile>\n"
          "<datafile homepage='x'>\n"
          "  <emulator referencename='Raine' playcommand='raine %1'/>\n"
          "  <webgamepage caption='Raine page' url='r'/>\n"
          "</datafile>\n"
          "<datafile><webgamepage caption='before any name' url='z'/></datafile>\n"
          "</quarmelleconfigfile>\n");
    parser_.SetEmulatorRefName("raine");
    EXPECT_EQ(InfosOf(parser_), (TPairs{{"Raine page", "r"}}));
}

TEST_F(XmlParserTest, TextsAreDecodedIntoUtf8) {
    const struct {
        const char* label;
        std::string file;
        std::string caption;
        std::string url;
    } cases[] = {
        {"entities", "<quarmelleconfigfile><datafile referencename='m'>"
                     "<webgamepage caption='&lt;Caf&#233;&gt; &quot;x&quot; &apos;y&apos;' url='a?b=1&amp;c=&#x32;'/>"
                     "</datafile></quarmelleconfigfile>",
         "<Caf\xc3\xa9> \"x\" 'y'", "a?b=1&c=2"},
        {"bare ampersand", "<quarmelleconfigfile><datafile referencename='m'>"
                           "<webgamepage caption='Tom & Jerry &nbsp;' url='a?b=1&c=2'/>"
                           "</datafile></quarmelleconfigfile>",
         "Tom & Jerry &nbsp;", "a?b=1&c=2"},
        {"latin-1 without declaration", "<quarmelleconfigfile><datafile referencename='m'>"
                                        "<webgamepage caption='Caf\xe9' url='u'/></datafile></quarmelleconfigfile>",
         "Caf\xc3\xa9", "u"},
        {"declared latin-1", "<?xml version='1.0' encoding='ISO-8859-1'?><quarmelleconfigfile>"
                             "<datafile referencename='m'><webgamepage caption='Caf\xe9' url='u'/></datafile>"
                             "</quarmelleconfigfile>",
         "Caf\xc3\xa9", "u"},
        {"utf-8", "<quarmelleconfigfile><datafile referencename='m'>"
                  "<webgamepage caption='\xe6\x97\xa5\xe6\x9c\xac' url='u'/></datafile></quarmelleconfigfile>",
         "\xe6\x97\xa5\xe6\x9c\xac", "u"},
    };
    for (const auto& c : cases) {
        Write(c.file);
        parser_.SetEmulatorRefName("m");
        EXPECT_EQ(InfosOf(parser_), (TPairs{{c.caption, c.url}})) << c.label;
    }
}

TEST_F(XmlParserTest, MissingFile) {
    parser_.SetConfigXmlFileName(dir_ / "config.xml");
    try {
        parser_.SetEmulatorRefName("mame");
        FAIL() << "no error";
    } catch (const qmxmlparser::EFileNotFound& e) {
        EXPECT_EQ(e.Message(), "Config file " + (dir_ / "config.xml") + " not found");
    }
    EXPECT_EQ(parser_.Infos.Count(), 0u);
    EXPECT_EQ(parser_.WebUpdates.Count(), 0u);
    // A folder of that name is no file either.
    WriteFile(dir_ / "config.xml/inner", "");
    EXPECT_THROW(parser_.SetEmulatorRefName(""), qmxmlparser::EFileNotFound);
}

TEST_F(XmlParserTest, EmptyFilesAndFilesWithoutOurRoot) {
    for (const char* text : {"", "  \n\t\r\n", "<?xml version='1.0'?><other><datafile referencename='m'>"
                                               "<webgamepage caption='c' url='u'/></datafile></other>"}) {
        Write(text);
        EXPECT_NO_THROW(parser_.SetEmulatorRefName("m")) << text;
        EXPECT_EQ(parser_.Infos.Count(), 0u) << text;
        EXPECT_EQ(parser_.WebUpdates.Count(), 0u) << text;
    }
    // What follows the root is not read, and not judged.
    Write("<quarmelleconfigfile><webupdate sitename='s' url='u'/></quarmelleconfigfile>"
          "<webupdate sitename='after' url='v'/> trailing <junk");
    EXPECT_NO_THROW(parser_.SetEmulatorRefName(""));
    EXPECT_EQ(SitesOf(parser_), (TPairs{{"s", "u"}}));
}

TEST_F(XmlParserTest, MalformedFilesGiveAClearErrorAndKeepWhatCameBefore) {
    const struct {
        const char* label;
        const char* text;
        size_t infos;
        size_t sites;
    } cases[] = {
        {"unclosed root", "<quarmelleconfigfile><webupdate sitename='s' url='u'/>", 0, 1},
        {"unclosed block", "<quarmelleconfigfile><datafile referencename='m'><webgamepage caption='c' url='u'/>", 1, 0},
        {"unclosed page", "<quarmelleconfigfile><datafile referencename='m'><webgamepage caption='c' url='u'", 0, 0},
        {"crossed tags", "<quarmelleconfigfile><datafile referencename='m'><webgamepage caption='c' url='u'/>"
                         "</webupdate></datafile></quarmelleconfigfile>",
         1, 0},
        {"unquoted value", "<quarmelleconfigfile><webupdate sitename=s url='u'/></quarmelleconfigfile>", 0, 0},
        {"not xml", "this is not a configuration file", 0, 0},
        {"binary", "\x01\x02\xff\xfe<<<>>>\x7f", 0, 0},
    };
    for (const auto& c : cases) {
        const std::string name = Write(c.text);
        try {
            parser_.SetEmulatorRefName("m");
            ADD_FAILURE() << c.label << ": no error";
        } catch (const qmxmlparser::EBadConfigFile& e) {
            EXPECT_NE(e.Message().find(name), std::string::npos) << c.label;
            EXPECT_NE(e.Message().find("line"), std::string::npos) << c.label;
        }
        EXPECT_EQ(parser_.Infos.Count(), c.infos) << c.label;
        EXPECT_EQ(parser_.WebUpdates.Count(), c.sites) << c.label;
    }
}
