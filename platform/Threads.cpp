#include "platform/Threads.h"

#include <system_error>
#include <thread>
#include <vector>

namespace qm {

size_t RunOnThreads(size_t count, const std::function<void()>& work) {
    std::vector<std::thread> pool;
    try {
        for (size_t t = 1; t < count; ++t) pool.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer threads than asked: the others share the work.
    }
    work();
    for (std::thread& thread : pool) thread.join();
    return pool.size() + 1;
}

}  // namespace qm
