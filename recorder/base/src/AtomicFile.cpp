#include <marlin/base/AtomicFile.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace marlin {

namespace {

int createParents(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (parent.empty()) return 0;
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    return ec ? (ec.value() ? ec.value() : EIO) : 0;
}

}  // namespace

int AtomicFile::read(const std::string& path, std::string& content) {
    content.clear();
#ifdef _WIN32
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::filesystem::exists(path) ? EACCES : ENOENT;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? EIO : 0;
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    char buffer[kPieceSize];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            content.clear();
            return err;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return 0;
#endif
}

int AtomicFile::write(const std::string& path, std::string_view content, const ProgressHook& hook) {
    if (const int err = createParents(path)) return err;
    return replace(path, content, hook);
}

int AtomicFile::replace(const std::string& path, std::string_view content, const ProgressHook& hook) {
    const std::string tmp = temporaryPath(path);
#ifdef _WIN32
    const std::filesystem::path tmpName(tmp);
    const std::filesystem::path target(path);
    const HANDLE file = CreateFileW(tmpName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return EACCES;
    auto fail = [&](int err) {
        CloseHandle(file);
        DeleteFileW(tmpName.c_str());
        return err;
    };
    std::size_t written = 0;
    while (written < content.size()) {
        const auto n = static_cast<DWORD>(std::min(kPieceSize, content.size() - written));
        DWORD done = 0;
        if (!WriteFile(file, content.data() + written, n, &done, nullptr) || done == 0) return fail(EIO);
        written += done;
        if (hook) hook(written);
    }
    if (!FlushFileBuffers(file)) return fail(EIO);
    if (!CloseHandle(file)) {
        DeleteFileW(tmpName.c_str());
        return EIO;
    }
    // One step from the old content to the new: the old file is never deleted first, so there is
    // no moment without a file of that name.
    if (!MoveFileExW(tmpName.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(tmpName.c_str());
        return EACCES;
    }
    return 0;
#else
    // Keep the permissions of the file being replaced.
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return errno;
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return err;
    };
    std::size_t written = 0;
    while (written < content.size()) {
        const std::size_t n = std::min(kPieceSize, content.size() - written);
        const ssize_t w = ::write(fd, content.data() + written, n);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) return fail(errno);
        written += static_cast<std::size_t>(w);
        if (hook) hook(written);
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return err;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return err;
    }
    // Make the rename itself durable.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
#endif
}

}  // namespace marlin
