#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace qm::test {

TTempDir::TTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/qmtest-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = std::string(buf.data()) + "/";
}

TTempDir::~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::string& path, const std::string& bytes) {
    const auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::string RunCommand(const std::string& command, int* exitCode) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("cannot run " + command);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    const int status = ::pclose(pipe);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    out += "'";
    return out;
}

TScopedEnv::TScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

TScopedEnv::~TScopedEnv() {
    if (old_)
        ::setenv(name_, old_->c_str(), 1);
    else
        ::unsetenv(name_);
}

namespace {

int CountOf(const TContentCounts& counts, const std::string& content) {
    const auto it = counts.find(content);
    return it == counts.end() ? 0 : it->second;
}

}  // namespace

void ExpectNothingLost(const TContentCounts& before, const TContentCounts& goodAfter,
                       const TContentCounts& failedAfter) {
    for (const auto& [content, count] : before)
        EXPECT_GE(CountOf(failedAfter, content), std::min(count, CountOf(goodAfter, content))) << content << " lost";
}

void ExpectNothingFromNowhere(const TContentCounts& before, const TContentCounts& goodAfter,
                              const TContentCounts& failedAfter) {
    for (const auto& [content, count] : failedAfter)
        EXPECT_TRUE(before.count(content) != 0 || goodAfter.count(content) != 0) << content << " came from nowhere";
}

}  // namespace qm::test
