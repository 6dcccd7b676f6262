#include "engine/status.h"

#include <array>
#include <cstdio>
#include <utility>

namespace brevik {
namespace {

std::string_view reasonText(Reason why) {
    switch (why) {
        case Reason::Ok:
            return "no error";
        case Reason::Stopped:
            return "stopped";
        case Reason::HeaderUnreadable:
            return "header unreadable";
        case Reason::NoIndexPages:
            return "no block and node index pages found";
        case Reason::NoReadableBlocks:
            return "no readable data blocks";
        case Reason::OutOfMemory:
            return "out of memory";
        case Reason::Unexpected:
            break;
    }
    return "unexpected failure";
}

}  // namespace

std::string describe(const Status& status) {
    std::string out(reasonText(status.reason));
    char buf[64];
    if (status.offset) {
        std::snprintf(buf, sizeof buf, " at offset 0x%llx",
                      static_cast<unsigned long long>(*status.offset));
        out += buf;
    }
    if (status.expected && status.actual) {
        std::snprintf(buf, sizeof buf, " (expected %llu, found %llu)",
                      static_cast<unsigned long long>(*status.expected),
                      static_cast<unsigned long long>(*status.actual));
        out += buf;
    }
    return out;
}

}  // namespace brevik
