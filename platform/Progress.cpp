#include "platform/Progress.h"

#include "platform/UiHooks.h"

namespace qm {

int TProgressState::Percent(int64_t position, int64_t maximum) {
    if (maximum == 0) return 100;
    return static_cast<int>(position * 100 / maximum);
}

void TProgressState::Report(const TProgressEvent& onProgress, int64_t position, int64_t maximum) {
    if (!onProgress) {
        ProcessPendingMessages();
        return;
    }
    lastMaximum_ = maximum;
    const int percent = Percent(position, maximum);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    onProgress(percent);
    ProcessPendingMessages();
}

void ReportInfos(const TInfosEvent& onInfos, const std::string& text) {
    if (onInfos) onInfos(text);
    ProcessPendingMessages();
}

}  // namespace qm
