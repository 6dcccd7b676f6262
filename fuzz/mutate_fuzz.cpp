// Fuzz target: a sample file with a few bytes overwritten, the way damage usually looks. The
// input names offsets and values; the sample file is read once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "engine/byte_source.h"
#include "recovery/recovery_pass.h"

namespace {

const brevik::Bytes& sample() {
    static const brevik::Bytes bytes = [] {
        const char* path = std::getenv("BREVIK_FUZZ_SAMPLE");
        std::ifstream in(path ? path : BREVIK_DEFAULT_SAMPLE, std::ios::binary);
        return brevik::Bytes(std::istreambuf_iterator<char>(in), {});
    }();
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    brevik::Bytes image = sample();
    if (image.empty()) return 0;
    // Each 5-byte group: a 32-bit offset (modulo the size) and the byte to write there.
    for (std::size_t i = 0; i + 5 <= size; i += 5) {
        const std::uint32_t at = brevik::load32(data + i) % image.size();
        image[at] = data[i + 4];
    }
    brevik::RecoveredBase base;
    base.attachSource(std::make_unique<brevik::MemorySource>(std::move(image)));
    brevik::openMessageBase(base);
    return 0;
}
