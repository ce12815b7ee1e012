#pragma once

#include <cstdint>

namespace qzib {

// One piece of a gathered send: the caller's bytes are sent in place, never copied.
struct SendBuffer {
    std::uint32_t length = 0;
    const void* data = nullptr;
};

}  // namespace qzib
