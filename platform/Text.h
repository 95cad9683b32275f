#pragma once
// Translation and placeholder filling for user-visible texts.
#include <initializer_list>
#include <string>
#include <string_view>

namespace qm {

// Binds the "default" gettext domain to <localeDir> (catalogues in
// <localeDir>/<lang>/LC_MESSAGES/default.mo), with UTF-8 output, and takes the
// message language from the environment. Only LC_MESSAGES is set: number parsing and
// formatting stay in the "C" locale.
void InitTranslation(const std::string& localeDir);

// The translation of msgid, or msgid itself when there is no catalogue or entry.
std::string _(const char* msgid);
inline std::string _(const std::string& msgid) { return _(msgid.c_str()); }

// Replaces "%1", "%2" ... by the given values in one pass: a value that itself holds
// "%2" is not filled again. A placeholder without a value stays as it is.
std::string Fmt(std::string_view text, std::initializer_list<std::string_view> values);

}  // namespace qm
