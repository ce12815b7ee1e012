// libFuzzer entry for the trace file reader.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzOneInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    marlin::reader::fuzzOneInput(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
