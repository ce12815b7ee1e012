#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace marlin {

// Replaces a file as a whole: the new content goes to "<path>.tmp", reaches the disk, and only
// then takes the file's name. A crash at any moment leaves either the old file or the new one.
class AtomicFile {
public:
    // Called after each piece written to the temporary file, with the number of bytes so far.
    using ProgressHook = std::function<void(std::size_t written)>;

    // 0 on success, otherwise the errno of the step that failed (the old file is then untouched).
    // The folder must exist; the old file's permissions are kept.
    static int replace(const std::string& path, std::string_view content, const ProgressHook& hook = {});
    // The same, creating missing parent folders first.
    static int write(const std::string& path, std::string_view content, const ProgressHook& hook = {});
    // 0 and the whole content, or the errno (ENOENT for a file that is not there).
    static int read(const std::string& path, std::string& content);

    static std::string temporaryPath(const std::string& path) { return path + ".tmp"; }
    static constexpr std::size_t kPieceSize = 4096;
};

}  // namespace marlin
