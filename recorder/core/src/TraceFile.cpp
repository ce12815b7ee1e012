#include "marlin/core/TraceFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "marlin/core/TextHelpers.h"

#ifdef _WIN32
#include <io.h>
#include <share.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace marlin {

namespace {

// A file descriptor that is closed on every path; the few calls the writer needs, retried on
// EINTR and looping over partial writes.
class RawFile {
public:
    RawFile(const std::string& path, bool append) {
#ifdef _WIN32
        int flags = _O_BINARY | _O_CREAT | (append ? (_O_WRONLY | _O_APPEND) : _O_RDWR);
        _sopen_s(&fd_, path.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
#else
        const int flags = O_CREAT | O_CLOEXEC | (append ? (O_WRONLY | O_APPEND) : O_RDWR);
        do {
            fd_ = ::open(path.c_str(), flags, 0666);
        } while (fd_ < 0 && errno == EINTR);
#endif
        if (fd_ < 0) error_ = errno;
    }
    ~RawFile() {
        if (fd_ >= 0) close();
    }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    bool isOpen() const {
        return fd_ >= 0;
    }
    int error() const {
        return error_;
    }

    bool size(long long& out) {
#ifdef _WIN32
        struct _stat64 st;
        if (_fstat64(fd_, &st) != 0) return fail();
#else
        struct stat st;
        if (::fstat(fd_, &st) != 0) return fail();
#endif
        out = static_cast<long long>(st.st_size);
        return true;
    }

    bool writeAt(long long offset, std::string_view bytes) {
#ifdef _WIN32
        if (_lseeki64(fd_, offset, SEEK_SET) < 0) return fail();
#endif
        std::size_t done = 0;
        while (done < bytes.size()) {
#ifdef _WIN32
            const auto chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            const int n = _write(fd_, bytes.data() + done, chunk);
#else
            const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                       static_cast<off_t>(offset + static_cast<long long>(done)));
#endif
            if (n < 0) {
                if (errno == EINTR) continue;
                return fail();
            }
            if (n == 0) {
                error_ = ENOSPC;
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    bool append(std::string_view bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
#ifdef _WIN32
            const auto chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            const int n = _write(fd_, bytes.data() + done, chunk);
#else
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
#endif
            if (n < 0) {
                if (errno == EINTR) continue;
                return fail();
            }
            if (n == 0) {
                error_ = ENOSPC;
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Puts the file back to `length` bytes after a failed write; best effort.
    void truncateTo(long long length) {
#ifdef _WIN32
        (void)_chsize_s(fd_, length);
#else
        while (::ftruncate(fd_, static_cast<off_t>(length)) != 0 && errno == EINTR) {
        }
#endif
    }

    bool close() {
#ifdef _WIN32
        const int rc = _close(fd_);
#else
        const int rc = ::close(fd_);  // not retried: the descriptor is gone either way
#endif
        fd_ = -1;
        if (rc != 0) return fail();
        return true;
    }

private:
    bool fail() {
        error_ = errno;
        return false;
    }
    int fd_ = -1;
    int error_ = 0;
};

FileResult failure(const std::string& path, const char* what, int error) {
    return {false,
            "The trace file \"" + path + "\" could not be " + what + ": " + std::strerror(error) + "."};
}

}  // namespace

std::string TraceFile::instrumentHeader(std::string_view text) {
    // Positions are counted from 1 as the instrument's text tools do; 0 means "not found".
    const auto valuesAt = text.find("Values;");
    const std::size_t f = valuesAt == std::string_view::npos ? 0 : valuesAt + 1;
    const std::size_t searchFrom = f + 7;  // the first character after "Values;"
    std::size_t g = 0;
    if (searchFrom - 1 < text.size()) {
        const auto semicolon = text.find(';', searchFrom - 1);
        if (semicolon != std::string_view::npos) g = semicolon + 1;
    }
    std::string header(text.substr(0, std::min(text.size(), g + 1)));
    std::replace(header.begin(), header.end(), '\r', '\n');
    return header;
}

std::string TraceFile::headText(double intervalSeconds, std::string_view exportText) {
    std::string interval = fixedText(intervalSeconds, 6);
    std::replace(interval.begin(), interval.end(), ',', '.');
    std::string head(kCountPlaceholder);
    head += "\nCAPDELAYTIME;";
    head += interval;
    head += '\n';
    head += instrumentHeader(exportText);
    return head;
}

std::string TraceFile::countField(std::int32_t readingCount) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<std::uint32_t>(readingCount));
    std::string field = std::string("ENDSTOP;0x") + hex;
    if (field.size() < kCountFieldLength) field.append(kCountFieldLength - field.size(), ' ');
    return field;
}

std::string TraceFile::sectionLine(std::int32_t readingCount, const TimeStamp& stamp, bool ascii) {
    return "Section" + (ascii ? NumberText(readingCount) : TrimText(readingCount)) + ";" +
           stamp.sectionText();
}

std::string TraceFile::JoinValues(std::string_view bytes, std::string_view separator) {
    const std::size_t n = bytes.size() / 4;
    std::string out;
    if (n == 0) return out;
    // Sized for the longest form, written through a pointer, cut to length at the end.
    out.resize(n * (kMaxSingleNumberText + separator.size()));
    char* p = out.data();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && !separator.empty()) {
            std::memcpy(p, separator.data(), separator.size());
            p += separator.size();
        }
        float value;
        std::memcpy(&value, bytes.data() + 4 * i, 4);  // little-endian data on a little-endian host
        p = writeNumberText(p, value);
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
    return out;
}

std::string TraceFile::suggestedFileName(std::string_view address, std::string_view traceText,
                                         const TimeStamp& t) {
    char clock[32];
    std::snprintf(clock, sizeof clock, "%02d_%02d_%02d", t.Hour, t.Minute, t.Second);
    return std::string(address) + "_trace" + std::string(traceText) + "@" + std::to_string(t.Year) + "-" +
           std::to_string(t.Month) + "-" + std::to_string(t.Day) + " " + clock;
}

bool TraceFile::exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

FileResult TraceFile::emptyFile(const std::string& path) {
    RawFile file(path, false);
    if (!file.isOpen()) return failure(path, "opened", file.error());
    file.truncateTo(0);
    long long size = -1;
    if (!file.size(size) || size != 0) return failure(path, "emptied", file.error() ? file.error() : EIO);
    if (!file.writeAt(0, "\r\n")) return failure(path, "written", file.error());
    if (!file.close()) return failure(path, "written", file.error());
    return {};
}

FileResult TraceFile::writeHead(const std::string& path, std::string_view head) {
    RawFile file(path, false);
    if (!file.isOpen()) return failure(path, "opened", file.error());
    long long size = 0;
    if (!file.size(size)) return failure(path, "read", file.error());
    if (!file.writeAt(0, head)) {
        const int error = file.error();
        if (size == 0) file.truncateTo(0);
        return failure(path, "written", error);
    }
    if (!file.close()) return failure(path, "written", file.error());
    return {};
}

FileResult TraceFile::appendBinarySection(const std::string& path, std::int32_t readingCount,
                                          const TimeStamp& stamp, std::string_view data) {
    std::string section = sectionLine(readingCount, stamp, false);
    section += '\n';
    section.append(data);
    section += '\n';
    RawFile file(path, false);
    if (!file.isOpen()) return failure(path, "opened", file.error());
    long long size = 0;
    if (!file.size(size)) return failure(path, "read", file.error());
    // A new or very short file gets its count field first and the section right after it, so the
    // section never overlaps the count field.
    const long long sectionAt = std::max<long long>(size, static_cast<long long>(kCountFieldLength));
    // The section goes in first: if the disk is full, the count field still tells the truth.
    if (!file.writeAt(sectionAt, section) || !file.writeAt(0, countField(readingCount))) {
        const int error = file.error();
        file.truncateTo(size);
        return failure(path, "written", error);
    }
    if (!file.close()) return failure(path, "written", file.error());
    return {};
}

FileResult TraceFile::appendAsciiSection(const std::string& path, std::int32_t readingCount,
                                         const TimeStamp& stamp, std::string_view valuesText) {
    const std::string line = sectionLine(readingCount, stamp, true) + "\r\n";
    RawFile file(path, true);
    if (!file.isOpen()) return failure(path, "opened", file.error());
    long long size = 0;
    if (!file.size(size)) return failure(path, "read", file.error());
    // Three appends, without copying the (possibly megabyte-long) value line once more.
    if (!file.append(line) || !file.append(valuesText) || !file.append("\r\n")) {
        const int error = file.error();
        file.truncateTo(size);
        return failure(path, "written", error);
    }
    if (!file.close()) return failure(path, "written", file.error());
    return {};
}

}  // namespace marlin
