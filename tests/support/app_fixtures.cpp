#include "support/app_fixtures.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "writers/pst/sample_generator.h"

namespace brevik::test {

void writeSample(const std::string& path, std::uint64_t items, std::uint64_t deleted,
                 std::uint64_t orphans) {
    pst::SampleOptions options;
    options.items = items;
    options.deleted = deleted;
    options.orphans = orphans;
    if (!pst::generateSamplePst(path, options).ok())
        throw std::runtime_error("cannot write sample " + path);
}

Bytes readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace brevik::test
