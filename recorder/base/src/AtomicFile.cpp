#include "AtomicFile.h"

#include <cerrno>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace marlin::about {

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
    const std::string tmp = temporaryPath(path);
#ifdef _WIN32
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return EACCES;
        std::size_t written = 0;
        while (written < content.size()) {
            const std::size_t n = std::min(kPieceSize, content.size() - written);
            out.write(content.data() + written, static_cast<std::streamsize>(n));
            written += n;
            if (hook) hook(written);
        }
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(tmp);
            return EIO;
        }
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec) {
        std::filesystem::remove(tmp, ec);
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

}  // namespace marlin::about
