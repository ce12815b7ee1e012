#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace marlin::platform {

// An error raised by the registry class: a number, the source that raised it and a message.
class RegistryError : public std::runtime_error {
public:
    RegistryError(std::int32_t number, std::string source, const std::string& description)
        : std::runtime_error(description), number_(number), source_(std::move(source)) {}

    std::int32_t number() const { return number_; }
    const std::string& source() const { return source_; }
    std::string description() const { return what(); }

private:
    std::int32_t number_;
    std::string source_;
};

}  // namespace marlin::platform
