#pragma once
// Work shared by a few threads: each runs the same loop, taking the next item from a
// shared counter until none is left.
#include <cstddef>
#include <functional>

namespace qm {

// Runs work on count threads, the calling one among them, and returns once every one
// has returned; the number that ran. When the system refuses a thread, those started
// share the work.
size_t RunOnThreads(size_t count, const std::function<void()>& work);

}  // namespace qm
