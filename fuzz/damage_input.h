// What the damage-style fuzz targets share: a fuzz input read as bytes to overwrite in an image,
// and one recovery pass over the result.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/byte_source.h"
#include "message/load_message.h"
#include "recovery/recovery_pass.h"

namespace brevik::fuzz {

// Each 5-byte group of `data`: a 32-bit offset (modulo the image's size) and the byte to write.
inline void overwriteBytes(Bytes& image, const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 5 <= size && !image.empty(); i += 5)
        image[load32(data + i) % image.size()] = data[i + 4];
}

// Recovers `image`; with `loadItems`, loads every item again as the preview and the saves do.
inline void recoverImage(Bytes image, bool loadItems) {
    RecoveredBase base;
    base.attachSource(std::make_unique<MemorySource>(std::move(image)));
    openMessageBase(base);
    if (!loadItems) return;
    for (std::uint32_t i = 0; i < base.itemCount; ++i) {
        loadMessage(base, i);
        base.messageEntries[i].record.reset();
    }
}

// A copy of `sample` damaged by the input, recovered; the body of the damage-style targets.
inline int recoverDamaged(const Bytes& sample, const std::uint8_t* data, std::size_t size,
                          bool loadItems) {
    if (sample.empty()) return 0;
    Bytes image = sample;
    overwriteBytes(image, data, size);
    recoverImage(std::move(image), loadItems);
    return 0;
}

}  // namespace brevik::fuzz
