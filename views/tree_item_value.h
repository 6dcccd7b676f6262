// The 32-bit value each tree node carries: which base and folder it stands for.
#pragma once

#include <cstdint>

#include "app/app_state.h"

namespace brevik::views {

inline constexpr std::uint32_t kBaseNodeFlag = 0x80000000u;

struct TreeItemValue {
    std::uint32_t raw = 0;

    static TreeItemValue root() { return {static_cast<std::uint32_t>(app::kRootValue)}; }
    static TreeItemValue directory() { return {static_cast<std::uint32_t>(app::kDirectoryValue)}; }
    static TreeItemValue baseNode(std::uint32_t base, std::uint32_t topFolder) {
        return {kBaseNodeFlag | ((topFolder & 0x7FFFu) << 16) | (base & 0xFFFFu)};
    }
    static TreeItemValue folder(std::uint32_t base, std::uint32_t folderIndex) {
        return {((folderIndex & 0x7FFFu) << 16) | (base & 0xFFFFu)};
    }

    std::int32_t baseIndex() const { return static_cast<std::int32_t>(raw & 0xFFFFu); }
    std::uint32_t folderIndex() const { return (raw >> 16) & 0x7FFFu; }
    bool isBaseNode() const { return (raw & kBaseNodeFlag) != 0; }
};

}  // namespace brevik::views
