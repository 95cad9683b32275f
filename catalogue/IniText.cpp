#include "catalogue/IniText.h"

#include "archive/stringsTools.h"

namespace qm {

TIniText::TIniText(std::string_view text) {
    SplitLines(text, lines_);
    Index();
}

TIniText::TIniText(const std::vector<std::string_view>& lines) : lines_(lines) { Index(); }

void TIniText::Index() {
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view line = lines_[i];
        // Rom lines begin with a separator byte: test the first byte before trimming.
        if (line.empty() || (line[0] != '[' && static_cast<unsigned char>(line[0]) > 32)) continue;
        line = TrimView(line);
        if (line.empty() || line[0] != '[') continue;
        size_t close = line.find(']');
        if (close == std::string_view::npos) continue;
        if (!sections_.empty()) sections_.back().end = i;
        sections_.push_back(TSection{TrimView(line.substr(1, close - 1)), i + 1, lines_.size()});
    }
}

const TIniText::TSection* TIniText::Find(std::string_view section) const {
    section = TrimView(section);
    for (const auto& s : sections_)
        if (SameText(s.name, section)) return &s;
    return nullptr;
}

bool TIniText::SectionExists(std::string_view section) const { return Find(section) != nullptr; }

bool TIniText::FindValue(std::string_view section, std::string_view key, std::string_view& value) const {
    const TSection* s = Find(section);
    if (!s) return false;
    key = TrimView(key);
    for (size_t i = s->first; i < s->end; ++i) {
        std::string_view line = lines_[i];
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        if (!SameText(TrimView(line.substr(0, eq)), key)) continue;
        value = TrimView(line.substr(eq + 1));
        return true;
    }
    return false;
}

std::string TIniText::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    std::string_view value = defaultValue;
    FindValue(section, key, value);
    return std::string(value);
}

}  // namespace qm
