// An object of each thread, for caches that would cost too much to rebuild per call.
#pragma once

namespace brevik {

// The calling thread's `T`, made at its first use; `Tag` tells apart objects of one type.
// mingw-w64 frees a thread_local's storage before it runs the destructor at thread exit, which
// corrupts the heap under load: there the object lives on the heap and is left to the system
// when its thread ends (a few hundred bytes per thread).
template <class T, class Tag>
T& perThread() {
#ifdef __MINGW32__
    thread_local T* object = nullptr;
    if (!object) object = new T();
    return *object;
#else
    thread_local T object;
    return object;
#endif
}

}  // namespace brevik
