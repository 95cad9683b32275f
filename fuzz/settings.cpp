// The settings store on arbitrary ini files: a file is read whatever it holds; a write
// either is refused with a clear error or reads back, also from the file it rewrote,
// and leaves every other value of the file as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "archive/stringsTools.h"
#include "catalogue/IniText.h"
#include "catalogue/config.h"
#include "support/FuzzSupport.h"

using namespace qm;
using qm::fuzz::Check;
using qm::fuzz::Printable;

namespace {

// Every section named in the text with every key named in the text.
std::vector<std::pair<std::string, std::string>> Names(std::string_view text) {
    std::vector<std::string_view> lines;
    SplitLines(text, lines);
    std::vector<std::string> sections, keys;
    for (auto line : lines) {
        const auto t = TrimView(line);
        if (!t.empty() && t[0] == '[') {
            const auto close = t.find(']');
            if (close != std::string_view::npos) sections.emplace_back(TrimView(t.substr(1, close - 1)));
        } else if (const auto eq = line.find('='); eq != std::string_view::npos) {
            keys.emplace_back(TrimView(line.substr(0, eq)));
        }
    }
    std::vector<std::pair<std::string, std::string>> out;
    for (size_t s = 0; s < sections.size() && s < 8; ++s)
        for (size_t k = 0; k < keys.size() && k < 8; ++k) out.emplace_back(sections[s], keys[k]);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(12);
    const std::string key = in.ConsumeRandomLengthString(12);
    const std::string value = in.ConsumeRandomLengthString(24);
    const std::string text = in.ConsumeRemainingBytesAsString();

    static const std::string dir = qm::fuzz::FreshDir("settings");
    const std::string name = dir + "quarmelle.ini";
    qm::fuzz::WriteBytes(name, text);

    auto names = Names(text);
    names.emplace_back(section, key);
    std::vector<std::string> before;
    {
        auto ini = TIniFile::Open(name);
        for (const auto& [s, k] : names) before.push_back(ini->ReadString(s, k, "\x01"));
        (void)ini->ReadInteger(section, key, 7);
        try {
            ini->WriteString(section, key, value);
        } catch (const qm::Exception&) {
            std::string after;
            qm::fuzz::ReadBytes(name, after);
            Check(after == text, "a refused write changed the file");
            return 0;
        }
        Check(ini->WriteError().empty(), "the rewrite failed: " + ini->WriteError());
    }
    // Read back from the file as written.
    auto ini = TIniFile::Open(name);
    const std::string expected(TrimView(value));
    Check(ini->ReadString(section, key, "\x01") == expected,
          "[" + Printable(section) + "] " + Printable(key) + " reads back as " +
              Printable(ini->ReadString(section, key, "\x01")) + ", not " + Printable(expected));
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        const auto& [s, k] = names[i];
        if (SameText(TrimView(s), TrimView(section)) && SameText(TrimView(k), TrimView(key))) continue;
        Check(ini->ReadString(s, k, "\x01") == before[i],
              "writing [" + Printable(section) + "] " + Printable(key) + " changed [" + Printable(s) + "] " +
                  Printable(k));
    }
    return 0;
}
