#include <marlin/platform/FileByteSource.h>

namespace marlin::platform {

FileByteSource::FileByteSource(const std::string& path) : in_(path, std::ios::binary) {
    if (!in_) return;
    in_.seekg(0, std::ios::end);
    const std::streamoff end = in_.tellg();
    if (end < 0) return;
    size_ = static_cast<std::uint64_t>(end);
    open_ = true;
}

bool FileByteSource::read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    if (!open_ || !contains(offset, out.size())) return false;
    if (out.empty()) return true;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    in_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    // A file that shrank under us reads short: report it as outside the source.
    return in_.gcount() == static_cast<std::streamsize>(out.size());
}

}  // namespace marlin::platform
