#pragma once
// A read-only view of ini-style text, read the way the header of a datafile is read:
// section and key names match without regard to (ASCII) case, only the first section
// of a name is searched and the first matching key in it counts, the value is the rest
// of the line after the first "=" with leading and trailing blanks removed, and a
// missing key gives the default. The text (or the lines) must outlive the object.
#include <string>
#include <string_view>
#include <vector>

namespace qm {

class TIniText {
public:
    // Splits the text into lines itself (CR, LF and CR LF end a line).
    explicit TIniText(std::string_view text);
    // Uses lines already split; they are copied as views, not as bytes.
    explicit TIniText(const std::vector<std::string_view>& lines);

    bool SectionExists(std::string_view section) const;
    std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // False when the section or the key is missing; value is then left alone.
    bool FindValue(std::string_view section, std::string_view key, std::string_view& value) const;

    const std::vector<std::string_view>& Lines() const { return lines_; }

private:
    struct TSection {
        std::string_view name;
        size_t first;  // first line after the section's header line
        size_t end;    // the next section's header line, or the line count
    };
    void Index();
    const TSection* Find(std::string_view section) const;

    std::vector<std::string_view> lines_;
    std::vector<TSection> sections_;
};

}  // namespace qm
