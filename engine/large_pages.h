// Large tables in 2 MiB pages where the system offers them.
#pragma once

#include <cstddef>
#include <vector>

namespace brevik {

// Asks for the whole pages inside [p, p + bytes) to be backed by large pages once touched.
// Every fresh 4 KiB page costs a fault on first touch, and on virtual machines a fault can cost
// as much as copying tens of kilobytes: a table of a row per block or item touches thousands.
// Ranges under a few megabytes, and systems without the option, are left as they are.
void adviseLargePages(const void* p, std::size_t bytes);

// `v.reserve(n)`, with the new storage advised before anything is constructed in it.
template <class T>
void reserveLarge(std::vector<T>& v, std::size_t n) {
    if (n <= v.capacity()) return;
    v.reserve(n);
    adviseLargePages(v.data(), v.capacity() * sizeof(T));
}

}  // namespace brevik
