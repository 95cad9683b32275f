#pragma once
// The progress rule every long operation shares: the percentage is position * 100 /
// maximum with the remainder dropped (100 when the maximum is 0); it is reported only
// when it differs from the last one reported, and pending window messages are
// processed after each report. With no listener, messages are processed and nothing
// else happens.
#include <cstdint>
#include <functional>
#include <string>

namespace qm {

using TProgressEvent = std::function<void(int current)>;
using TInfosEvent = std::function<void(const std::string& infos)>;
using TLogEvent = std::function<void(const std::string& line)>;

class TProgressState {
public:
    // Applies the rule for one step; onProgress may be empty.
    void Report(const TProgressEvent& onProgress, int64_t position, int64_t maximum);
    // Forgets the last percentage (the next step reports whatever it is).
    void Reset() { lastPercent_ = 0; lastMaximum_ = 0; }

    int LastPercent() const { return lastPercent_; }
    int64_t LastMaximum() const { return lastMaximum_; }

    static int Percent(int64_t position, int64_t maximum);

private:
    int lastPercent_ = 0;
    int64_t lastMaximum_ = 0;
};

// Calls onInfos when set, then processes pending messages.
void ReportInfos(const TInfosEvent& onInfos, const std::string& text);

}  // namespace qm
