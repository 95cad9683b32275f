#include "archive/ZipFailure.h"

namespace qm {

namespace {
// Per thread: the scan lists zips on several threads at once.
thread_local std::string t_failure;
}  // namespace

void ClearZipFailure() { t_failure.clear(); }

void SetZipFailure(const std::string& file, const std::string& reason) {
    if (!t_failure.empty() || reason.empty()) return;
    t_failure = file.empty() ? reason : file + ": " + reason;
}

std::string TakeZipFailure() {
    std::string text;
    text.swap(t_failure);
    return text;
}

}  // namespace qm
