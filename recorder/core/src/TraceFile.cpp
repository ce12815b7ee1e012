#include "marlin/core/TraceFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "marlin/core/SingleText.h"
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

std::atomic<std::uint64_t> syncedWrites{0};

// A file descriptor that is closed on every path; the few calls the writer needs, retried on
// EINTR and looping over partial writes.
class RawFile {
public:
    RawFile(const std::string& path, bool append, bool create = true) {
#ifdef _WIN32
        int flags = _O_BINARY | (create ? _O_CREAT : 0) | (append ? (_O_RDWR | _O_APPEND) : _O_RDWR);
        _sopen_s(&fd_, path.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
#else
        const int flags = (create ? O_CREAT : 0) | O_CLOEXEC | (append ? (O_RDWR | O_APPEND) : O_RDWR);
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
        std::uint64_t device, inode;
        return identity(device, inode, out);
    }

    // Which file this is (device and file number; the number is 0 where the system has none)
    // and its size.
    bool identity(std::uint64_t& device, std::uint64_t& inode, long long& size) {
#ifdef _WIN32
        struct _stat64 st;
        if (_fstat64(fd_, &st) != 0) return fail();
#else
        struct stat st;
        if (::fstat(fd_, &st) != 0) return fail();
#endif
        device = static_cast<std::uint64_t>(st.st_dev);
        inode = static_cast<std::uint64_t>(st.st_ino);
        size = static_cast<long long>(st.st_size);
        return true;
    }

    // Reads up to `count` bytes from the start; what arrived.
    std::string readStart(std::size_t count) {
        std::string bytes(count, '\0');
        std::size_t done = 0;
        while (done < count) {
#ifdef _WIN32
            if (_lseeki64(fd_, static_cast<long long>(done), SEEK_SET) < 0) break;
            const int n = _read(fd_, bytes.data() + done, static_cast<unsigned>(count - done));
#else
            const ssize_t n = ::pread(fd_, bytes.data() + done, count - done, static_cast<off_t>(done));
#endif
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
        return bytes;
    }

    bool writeAt(long long offset, std::string_view bytes) {
#ifdef _WIN32
        if (_lseeki64(fd_, offset, SEEK_SET) < 0) return fail();
#endif
        return writeAll(bytes, offset);
    }

    bool append(std::string_view bytes) {
        return writeAll(bytes, std::nullopt);
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

    // Hands what was written to the storage device and waits until it is there.
    bool syncData() {
#ifdef _WIN32
        if (_commit(fd_) != 0) return fail();
#elif defined(__linux__)
        while (::fdatasync(fd_) != 0) {
            if (errno != EINTR) return fail();
        }
#else
        while (::fsync(fd_) != 0) {
            if (errno != EINTR) return fail();
        }
#endif
        syncedWrites.fetch_add(1, std::memory_order_relaxed);
        return true;
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
    // Writes every byte, at `offset` or (none) at the end of the file; on Windows the caller has
    // moved the file position to `offset` already. A write that takes nothing means the disk is
    // full.
    bool writeAll(std::string_view bytes, std::optional<long long> offset) {
        std::size_t done = 0;
        while (done < bytes.size()) {
#ifdef _WIN32
            (void)offset;
            const auto chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
            const int n = _write(fd_, bytes.data() + done, chunk);
#else
            const ssize_t n = offset ? ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                                static_cast<off_t>(*offset + static_cast<long long>(done)))
                                     : ::write(fd_, bytes.data() + done, bytes.size() - done);
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

// A file that is new (or was empty) is only found again after a crash once its folder's entry
// for it is on the disk too.
int syncFolderOf(const std::string& path) {
#ifdef _WIN32
    (void)path;  // the file system keeps the entry with the file
    return 0;
#else
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd;
    do {
        fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errno;
    int error = 0;
    while (::fsync(fd) != 0) {
        if (errno == EINTR) continue;
        // A folder that cannot be synced (some network file systems) has nothing more to do.
        if (errno != EINVAL) error = errno;
        break;
    }
    ::close(fd);
    return error;
#endif
}

// Puts what was written to the file on the disk, and the folder entry of a file that was empty
// (or new) when it was opened; the system's error number, 0 when all is on the disk.
int syncAll(RawFile& file, const std::string& path, long long sizeWhenOpened) {
    if (!file.syncData()) return file.error();
    return sizeWhenOpened == 0 ? syncFolderOf(path) : 0;
}

FileResult notTheTraceFile(std::string message) {
    return {false, std::move(message), true};
}

// A file the count field may be written into: one that starts with a count field, or one that
// holds nothing but line ends (what START leaves of a file it empties).
bool mayHoldTheCountField(RawFile& file, long long size) {
    const std::string start = file.readStart(TraceFile::kCountFieldLength);
    if (size >= static_cast<long long>(TraceFile::kCountFieldLength))
        return start.rfind(TraceFile::kCountPlaceholder.substr(0, 10), 0) == 0;
    return start.find_first_not_of("\r\n") == std::string::npos;
}

// Opens the file a section goes to and makes sure it may be written: the file of the marked name
// must still be the one the recording wrote, and the count field goes only into a trace file.
FileResult openForSection(RawFile& file, const std::string& path, const TraceFileMark* mark, bool countField,
                          long long& size) {
    const bool known = mark && !mark->path.empty() && mark->path == path;
    if (!file.isOpen()) {
        if (known && file.error() == ENOENT)
            return notTheTraceFile("The trace file \"" + path +
                                   "\" has been deleted since the last reading was written to it.");
        return failure(path, "opened", file.error());
    }
    std::uint64_t device = 0, inode = 0;
    if (!file.identity(device, inode, size)) return failure(path, "read", file.error());
    if (known && (device != mark->device || inode != mark->inode))
        return notTheTraceFile("The trace file \"" + path +
                               "\" has been replaced by another file since the last reading was written "
                               "to it; that file was left untouched.");
    if (known && size < mark->size)
        return notTheTraceFile("The trace file \"" + path + "\" has been shortened from " +
                               std::to_string(mark->size) + " to " + std::to_string(size) +
                               " bytes since the last reading was written to it; it was left as it is.");
    // The file this recording wrote last starts with the count field it wrote there.
    const bool ours = known && mark->size > 0;
    if (countField && !ours && !mayHoldTheCountField(file, size))
        return notTheTraceFile("The file \"" + path +
                               "\" does not start with a trace file's count field (\"ENDSTOP;0x\"): it is "
                               "not a trace file, and it was left untouched.");
    return {};
}

void remember(TraceFileMark* mark, RawFile& file, const std::string& path) {
    if (!mark) return;
    mark->path = path;
    if (!file.identity(mark->device, mark->inode, mark->size)) mark->path.clear();
}

// The same for the file the mark already names, whose size the caller knows without asking.
void remember(TraceFileMark* mark, RawFile& file, const std::string& path, long long sizeNow) {
    if (mark && mark->path == path && mark->size > 0) {
        mark->size = sizeNow;
        return;
    }
    remember(mark, file, path);
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
    TextBuffer out;
    appendSingleTexts(out, bytes, separator);
    return std::string(out.view());
}

void TraceFile::asciiSectionInto(TextBuffer& section, std::int32_t readingCount, const TimeStamp& stamp,
                                 std::string_view floatBytes, std::string_view separator) {
    section.clear();  // keeps its room
    section += sectionLine(readingCount, stamp, true);
    section += "\r\n";
    appendSingleTexts(section, floatBytes, separator);
    section += "\r\n";
}

std::string TraceFile::suggestedFileName(std::string_view address, std::string_view traceText,
                                         const TimeStamp& t) {
    char clock[32];
    std::snprintf(clock, sizeof clock, "%02d_%02d_%02d", t.Hour, t.Minute, t.Second);
    return std::string(address) + "_trace" + std::string(traceText) + "@" + std::to_string(t.Year) + "-" +
           std::to_string(t.Month) + "-" + std::to_string(t.Day) + " " + clock;
}

std::uint64_t TraceFile::syncCount() {
    return syncedWrites.load(std::memory_order_relaxed);
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

FileResult TraceFile::writeHead(const std::string& path, std::string_view head, TraceFileMark* mark,
                                bool sync) {
    const bool existed = exists(path);
    RawFile file(path, false);
    if (!file.isOpen()) return failure(path, "opened", file.error());
    long long size = 0;
    if (!file.size(size)) return failure(path, "read", file.error());
    if (!file.writeAt(0, head)) {
        const int error = file.error();
        if (size == 0) file.truncateTo(0);
        file.close();
        // A file that holds nothing would only make the next recording ask to overwrite it.
        if (!existed) std::remove(path.c_str());
        return failure(path, "written", error);
    }
    if (const int error = sync ? syncAll(file, path, size) : 0; error != 0)
        return failure(path, "written to the disk", error);
    remember(mark, file, path);
    if (!file.close()) return failure(path, "written", file.error());
    return {};
}

FileResult TraceFile::appendBinarySection(const std::string& path, std::int32_t readingCount,
                                          const TimeStamp& stamp, std::string_view data,
                                          TraceFileMark* mark, bool sync) {
    std::string section = sectionLine(readingCount, stamp, false);
    section += '\n';
    section.append(data);
    section += '\n';
    // The marked file must still be there: it is not created again under its name.
    RawFile file(path, false, !(mark && mark->path == path));
    long long size = 0;
    if (auto checked = openForSection(file, path, mark, true, size); !checked) return checked;
    // A new or very short file gets its count field first and the section right after it, so the
    // section never overlaps the count field.
    const long long sectionAt = std::max<long long>(size, static_cast<long long>(kCountFieldLength));
    // The section goes in first: if the disk is full, the count field still tells the truth. With
    // sync the section is on the disk before the count field that counts it, so not even a crash
    // leaves a count of a section that is not there.
    int error = 0;
    if (!file.writeAt(sectionAt, section) || (sync && (error = syncAll(file, path, size)) != 0) ||
        !file.writeAt(0, countField(readingCount)) || (sync && !file.syncData())) {
        if (error == 0) error = file.error();
        file.truncateTo(size);
        return failure(path, "written", error);
    }
    remember(mark, file, path, sectionAt + static_cast<long long>(section.size()));
    if (!file.close()) return failure(path, "written", file.error());
    return {};
}

FileResult TraceFile::appendAsciiSection(const std::string& path, std::int32_t readingCount,
                                         const TimeStamp& stamp, std::string_view valuesText,
                                         TraceFileMark* mark, bool sync) {
    std::string section = sectionLine(readingCount, stamp, true);
    section.reserve(section.size() + valuesText.size() + 4);
    section += "\r\n";
    section += valuesText;
    section += "\r\n";
    return appendAsciiSectionText(path, section, mark, sync);
}

FileResult TraceFile::appendAsciiSectionText(const std::string& path, std::string_view section,
                                             TraceFileMark* mark, bool sync) {
    RawFile file(path, true, !(mark && mark->path == path));
    long long size = 0;
    if (auto checked = openForSection(file, path, mark, false, size); !checked) return checked;
    // One write of the whole section: a recorder killed meanwhile leaves the section whole or not
    // at all, never a section line without its values.
    int error = 0;
    if (!file.append(section) || (sync && (error = syncAll(file, path, size)) != 0)) {
        if (error == 0) error = file.error();
        file.truncateTo(size);
        return failure(path, "written", error);
    }
    remember(mark, file, path, size + static_cast<long long>(section.size()));
    if (!file.close()) return failure(path, "written", file.error());
    return {};
}

}  // namespace marlin
