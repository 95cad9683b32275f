#pragma once
// Runs the closing steps of a scope whichever way it is left. When the scope is left by
// an exception, an exception from the closing steps is dropped, so that the first one
// reaches the user; otherwise it goes on as any other.
#include <exception>
#include <utility>

namespace qm {

template <class F>
class TFinally {
public:
    explicit TFinally(F f) : f_(std::move(f)) {}
    ~TFinally() noexcept(false) {
        if (std::uncaught_exceptions() > exceptions_) {
            try {
                f_();
            } catch (...) {
            }
        } else {
            f_();
        }
    }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

private:
    F f_;
    int exceptions_ = std::uncaught_exceptions();
};

}  // namespace qm
