#include "platform/Text.h"

#include <libintl.h>

#include <clocale>
#include <vector>

namespace qm {

namespace {
bool g_translationBound = false;
}

void InitTranslation(const std::string& localeDir) {
    std::setlocale(LC_MESSAGES, "");
    bindtextdomain("default", localeDir.c_str());
    bind_textdomain_codeset("default", "UTF-8");
    g_translationBound = true;
}

std::string _(const char* msgid) {
    if (!g_translationBound || msgid == nullptr || *msgid == '\0') return msgid ? msgid : "";
    return dgettext("default", msgid);
}

std::string Fmt(std::string_view text, std::initializer_list<std::string_view> values) {
    std::vector<std::string_view> v(values);
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            // Take the longest number that names a value ("%12" when there are 12).
            size_t j = i + 1;
            size_t n = 0;
            size_t best = 0, bestEnd = 0;
            while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
                n = n * 10 + static_cast<size_t>(text[j] - '0');
                ++j;
                if (n >= 1 && n <= v.size()) { best = n; bestEnd = j; }
                if (n > v.size()) break;
            }
            if (best != 0) {
                out.append(v[best - 1]);
                i = bestEnd - 1;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace qm
