// Fuzz target: an offline file with 4 KiB pages and compressed blocks, written once by our own
// writer, with a few bytes overwritten; then a recovery pass and every item loaded again. The
// input names offsets and values, as in mutate_fuzz.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "damage_input.h"
#include "writers/pst/sample_generator.h"

namespace {

const brevik::Bytes& sample() {
    static const brevik::Bytes bytes = [] {
        const auto path = std::filesystem::temp_directory_path() / "brevik-pages4k-fuzz.ost";
        brevik::pst::SampleOptions options;
        options.items = 6;
        options.deleted = 1;
        options.orphans = 1;
        options.pages4k = true;
        if (!brevik::pst::generateSamplePst(path.string(), options).ok()) return brevik::Bytes{};
        std::ifstream in(path, std::ios::binary);
        brevik::Bytes image(std::istreambuf_iterator<char>(in), {});
        std::filesystem::remove(path);
        // The rest of the last allocation map's stretch is free: leave it out.
        std::size_t end = image.size();
        while (end > 0 && image[end - 1] == 0)
            --end;
        image.resize((end + 4095) / 4096 * 4096);
        return image;
    }();
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return brevik::fuzz::recoverDamaged(sample(), data, size, true);
}
