// Fuzz target: a sample file with a few bytes overwritten, the way damage usually looks. The
// input names offsets and values; the sample file is read once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "damage_input.h"

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
    return brevik::fuzz::recoverDamaged(sample(), data, size, false);
}
