// Fuzz target: one whole recovery pass over an arbitrary image, then every item loaded again.
#include <cstddef>
#include <cstdint>

#include "engine/byte_source.h"
#include "message/load_message.h"
#include "recovery/recovery_pass.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    brevik::RecoveredBase base;
    base.attachSource(std::make_unique<brevik::MemorySource>(brevik::Bytes(data, data + size)));
    brevik::openMessageBase(base);
    for (std::uint32_t i = 0; i < base.itemCount; ++i) {
        brevik::loadMessage(base, i);
        base.messageEntries[i].record.reset();
    }
    return 0;
}
