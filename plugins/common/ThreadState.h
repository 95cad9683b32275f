#pragma once
// Per-thread storage for a plug-in: the texts a call hands back must stay valid until
// the same thread's next call, and the program may call from several threads at once.
// Kept under a thread key rather than in thread_local variables: those of a loaded
// module live in dynamic thread storage, which the leak checker of sanitizer builds
// misreads when the program ends, failing the whole run.
#include <pthread.h>

namespace qm_plugin {

// The calling thread's T, made on its first call and deleted when the thread ends.
template <class T>
T& ThreadState() {
    static pthread_key_t key;
    static pthread_once_t once = PTHREAD_ONCE_INIT;
    ::pthread_once(&once, [] { ::pthread_key_create(&key, [](void* state) { delete static_cast<T*>(state); }); });
    auto* state = static_cast<T*>(::pthread_getspecific(key));
    if (!state) {
        state = new T;
        ::pthread_setspecific(key, state);
    }
    return *state;
}

}  // namespace qm_plugin
