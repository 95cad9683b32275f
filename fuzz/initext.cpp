// The ini-text reader on arbitrary text, compared with a plain reading of the rules in
// its header: first section of a name, first key in it, value after the first "="
// without the blanks around it, names without regard to ASCII case.
#include <fuzzer/FuzzedDataProvider.h>

#include <optional>
#include <string>

#include "archive/stringsTools.h"
#include "catalogue/IniText.h"
#include "support/FuzzSupport.h"

using namespace qm;
using qm::fuzz::Check;
using qm::fuzz::Printable;

namespace {

// The header of a section: a line that starts with "[" or a blank, whose trimmed text
// starts with "[" and holds a "]"; the name is what lies between, trimmed. (Rom lines
// of a datafile start with a separator byte above the blanks and never open one.)
bool SectionHeader(std::string_view line, std::string_view& name) {
    if (line.empty() || (line[0] != '[' && static_cast<unsigned char>(line[0]) > 32)) return false;
    const auto t = TrimView(line);
    if (t.empty() || t[0] != '[') return false;
    const auto close = t.find(']');
    if (close == std::string_view::npos) return false;
    name = TrimView(t.substr(1, close - 1));
    return true;
}

// A plain linear reading, independent of the reader's index.
std::optional<std::string> Lookup(const std::vector<std::string_view>& lines, std::string_view section,
                                  std::string_view key, bool& sectionFound) {
    sectionFound = false;
    section = TrimView(section);
    key = TrimView(key);
    size_t i = 0;
    std::string_view name;
    for (; i < lines.size(); ++i)
        if (SectionHeader(lines[i], name) && SameText(name, section)) break;
    if (i == lines.size()) return std::nullopt;
    sectionFound = true;
    for (++i; i < lines.size(); ++i) {
        if (SectionHeader(lines[i], name)) break;
        const auto eq = lines[i].find('=');
        if (eq == std::string_view::npos) continue;
        if (SameText(TrimView(lines[i].substr(0, eq)), key)) return std::string(TrimView(lines[i].substr(eq + 1)));
    }
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(16);
    const std::string key = in.ConsumeRandomLengthString(16);
    const std::string text = in.ConsumeRemainingBytesAsString();

    TIniText ini(text);
    std::vector<std::string_view> lines;
    SplitLines(text, lines);
    Check(ini.Lines().size() == lines.size(), "the reader splits lines otherwise");

    // Every section named in the text, and the fuzzed names.
    std::vector<std::pair<std::string, std::string>> queries{{section, key}};
    for (auto line : lines) {
        std::string_view name;
        if (SectionHeader(line, name)) queries.emplace_back(std::string(name), key);
        const auto eq = line.find('=');
        if (eq != std::string_view::npos && !queries.empty())
            queries.emplace_back(queries.back().first, std::string(TrimView(line.substr(0, eq))));
        if (queries.size() > 64) break;
    }
    for (const auto& [s, k] : queries) {
        bool sectionFound = false;
        const auto expected = Lookup(lines, s, k, sectionFound);
        Check(ini.SectionExists(s) == sectionFound, "SectionExists differs for " + Printable(s));
        std::string_view value = "untouched";
        const bool found = ini.FindValue(s, k, value);
        Check(found == expected.has_value(), "FindValue finds otherwise [" + Printable(s) + "] " + Printable(k));
        if (found) Check(value == *expected, "FindValue gives " + Printable(value) + " for " + Printable(*expected));
        else Check(value == "untouched", "FindValue changes the value of a missing key");
        Check(ini.ReadString(s, k, "\x01") == (expected ? *expected : std::string("\x01")), "ReadString differs");
    }
    return 0;
}
