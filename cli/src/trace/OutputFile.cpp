#include "OutputFile.h"

#include <cerrno>
#include <cstring>

namespace marlin::cli {

namespace {
constexpr std::size_t kBuffer = std::size_t{1} << 20;
}

OutputFile::~OutputFile() {
    if (file_) std::fclose(file_);  // before the buffer goes
}

bool OutputFile::fail(const char* what, std::string& error) {
    error = "\"" + name_ + "\" could not be " + what + ": " + std::strerror(errno);
    return false;
}

bool OutputFile::open(const std::string& path, const std::string& shownName, std::string& error) {
    name_ = shownName;
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return fail("created", error);
    buffer_ = std::make_unique_for_overwrite<char[]>(kBuffer);
    std::setvbuf(file_, buffer_.get(), _IOFBF, kBuffer);
    return true;
}

bool OutputFile::write(const void* data, std::size_t size, std::string& error) {
    if (std::fwrite(data, 1, size, file_) != size) return fail("written", error);
    return true;
}

bool OutputFile::writeAt(long long offset, const void* data, std::size_t size, std::string& error) {
    const long end = std::ftell(file_);
    if (end < 0 || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0 || !write(data, size, error) ||
        std::fseek(file_, end, SEEK_SET) != 0) {
        return error.empty() ? fail("written", error) : false;
    }
    return true;
}

bool OutputFile::close(std::string& error) {
    if (!file_) return true;
    const bool ok = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok || !closed) return fail("written", error);
    return true;
}

}  // namespace marlin::cli
