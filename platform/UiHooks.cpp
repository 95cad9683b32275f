#include "platform/UiHooks.h"

#include <time.h>

#include <cstdint>

namespace qm {

namespace {

class TSilentUiHooks : public IUiHooks {
public:
    void ProcessMessages() override {}
    void SetBusyCursor(bool) override {}
    int MessageDlg(const std::string&, TMsgDlgType, unsigned) override { return mrNone; }
    bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
    bool LoginQuery(const std::string&, const std::string&, std::string&, std::string&) override { return false; }
};

TSilentUiHooks g_silent;
IUiHooks* g_hooks = &g_silent;

}  // namespace

IUiHooks& UiHooks() { return *g_hooks; }

void SetUiHooks(IUiHooks* hooks) { g_hooks = hooks ? hooks : &g_silent; }

void ProcessPendingMessages(bool force) {
    // Called for every item of the long loops (hundreds of thousands of datafile lines):
    // the coarse clock (a few milliseconds' resolution, enough for a 30 ms pace) costs a
    // few nanoseconds where the precise one costs tens.
    static int64_t lastMs = 0;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    const int64_t nowMs = int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
    if (!force && nowMs - lastMs < 30) return;
    lastMs = nowMs;
    g_hooks->ProcessMessages();
}

void TScriptedUiHooks::ProcessMessages() {
    ++processMessagesCalls;
    if (onProcessMessages) onProcessMessages();
}

void TScriptedUiHooks::SetBusyCursor(bool busy) {
    busyDepth += busy ? 1 : -1;
    if (busyDepth > maxBusyDepth) maxBusyDepth = busyDepth;
}

int TScriptedUiHooks::MessageDlg(const std::string& text, TMsgDlgType type, unsigned buttons) {
    shown.push_back({text, type, buttons});
    if (dialogAnswers.empty()) return mrNone;
    const int answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer;
}

bool TScriptedUiHooks::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
    prompts.push_back(caption + ": " + prompt);
    if (inputAnswers.empty()) return false;
    value = inputAnswers.front();
    inputAnswers.pop_front();
    return true;
}

bool TScriptedUiHooks::LoginQuery(const std::string& caption, const std::string& prompt, std::string& user,
                                  std::string& password) {
    prompts.push_back(caption + ": " + prompt);
    if (loginAnswers.empty()) return false;
    user = loginAnswers.front().first;
    password = loginAnswers.front().second;
    loginAnswers.pop_front();
    return true;
}

TScopedUiHooks::TScopedUiHooks(IUiHooks& hooks) : previous_(&UiHooks()) { SetUiHooks(&hooks); }

TScopedUiHooks::~TScopedUiHooks() { SetUiHooks(previous_); }

}  // namespace qm
