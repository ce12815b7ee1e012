#include "marlin/reader/TraceReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "FileWindow.h"
#include "HeadParser.h"
#include "OffsetIndex.h"
#include "SectionLine.h"
#include "ValueLine.h"

namespace marlin::reader {

namespace {

// The head is looked for in the first bytes only; an instrument description is a few kilobytes.
constexpr std::size_t kMaxHead = std::size_t{1} << 20;
// An ASCII value line longer than this is not taken for one.
constexpr std::uint64_t kMaxValueLine = std::uint64_t{1} << 30;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

std::string offsetText(std::uint64_t offset) {
    return std::to_string(offset);
}

}  // namespace

std::string_view formName(FileForm form) {
    switch (form) {
        case FileForm::NoSections:
            return "none";
        case FileForm::Binary:
            return "binary";
        case FileForm::Ascii:
            return "ascii";
        case FileForm::Mixed:
            return "mixed";
    }
    return "none";
}

std::string_view damageName(DamageKind kind) {
    switch (kind) {
        case DamageKind::CutShort:
            return "cut-short section";
        case DamageKind::WrongLength:
            return "section of the wrong length";
        case DamageKind::WrongValueCount:
            return "value line of the wrong length";
        case DamageKind::Unreadable:
            return "unreadable bytes";
    }
    return "unreadable bytes";
}

const HeadField* TraceHead::field(std::string_view key) const {
    for (const auto& f : fields) {
        if (equalsIgnoringCase(f.key, key)) return &f;
    }
    return nullptr;
}

std::optional<double> TraceHead::number(std::string_view key) const {
    const HeadField* f = field(key);
    if (f == nullptr || f->value.empty()) return std::nullopt;
    char* end = nullptr;
    const std::string text = f->value;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return std::nullopt;
    return v;
}

FrequencyAxis frequencyAxis(const TraceHead& head, std::uint32_t points) {
    FrequencyAxis axis;
    auto start = head.number("Start");
    auto stop = head.number("Stop");
    if (!start || !stop) {
        const auto centre = head.number("Center Freq");
        const auto span = head.number("Span");
        if (centre && span) {
            start = *centre - *span / 2.0;
            stop = *centre + *span / 2.0;
        }
    }
    // A zero span has no frequency axis to speak of: the points are then numbered.
    if (!start || !stop || *start == *stop || points == 0) return axis;
    axis.fromHead = true;
    axis.start = *start;
    axis.step = points > 1 ? (*stop - *start) / static_cast<double>(points - 1) : 0.0;
    if (const HeadField* unit = head.field("X Unit")) {
        axis.unit = unit->value;
    } else if (const HeadField* s = head.field("Start")) {
        axis.unit = s->unit;
    }
    return axis;
}

class TraceReader::Impl {
public:
    Impl(std::string path, ReaderOptions options) : path_(std::move(path)), options_(std::move(options)) {
        values_ = options_.values.value_or(0);
        separator_ = options_.separator;
    }
    ~Impl() {
        if (fd_ >= 0) ::close(fd_);
    }

    UpdateStatus update(const Visitor& visit);
    bool readSection(std::uint64_t index, Section& section, std::vector<char>& bytes) const;
    bool decode(const Section& section, std::string_view data, std::span<float> out) const;

    std::string path_;
    ReaderOptions options_;
    std::string error_;
    TraceHead head_;
    std::uint32_t values_ = 0;
    std::optional<std::string> separator_;
    bool sawBinary_ = false, sawAscii_ = false;
    std::uint64_t count_ = 0;
    std::optional<Section> first_, last_;
    std::string lastLine_;  // the last section's line, to notice a file that was started again
    std::size_t lastLineLength_ = 0;
    OffsetIndex index_;
    std::vector<Damage> damages_;
    std::uint64_t damageCount_ = 0;
    std::optional<Damage> pending_;
    std::uint64_t resume_ = 0;
    std::uint64_t scanned_ = 0;
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;

private:
    enum class Body { Complete, Incomplete, Bad };
    struct BodyResult {
        Body kind = Body::Bad;
        Section section;
        std::string_view data;
        Damage damage;
    };

    void reset();
    bool reopen(bool& replaced);
    bool scan(FileWindow& window, const Visitor& visit);
    BodyResult body(FileWindow& window, std::uint64_t at, const SectionLine& line);
    std::uint64_t findSection(FileWindow& window, std::uint64_t from, bool atLineStart);
    bool followedBySection(FileWindow& window, std::uint64_t at);
    std::optional<std::uint32_t> inferBinaryValues(FileWindow& window, std::uint64_t dataOffset);
    void addDamage(Damage damage);
    void accept(const Section& section, std::string_view data, const Visitor& visit);
};

void TraceReader::Impl::reset() {
    head_ = TraceHead{};
    values_ = options_.values.value_or(0);
    separator_ = options_.separator;
    sawBinary_ = sawAscii_ = false;
    count_ = 0;
    first_.reset();
    last_.reset();
    lastLine_.clear();
    index_.clear();
    damages_.clear();
    damageCount_ = 0;
    pending_.reset();
    resume_ = 0;
    scanned_ = 0;
}

bool TraceReader::Impl::reopen(bool& replaced) {
    replaced = false;
    struct stat byName;
    if (::stat(path_.c_str(), &byName) != 0) {
        error_ = "The trace file \"" + path_ + "\" cannot be read: " + std::strerror(errno) + ".";
        return false;
    }
    if (fd_ >= 0 && byName.st_dev == device_ && byName.st_ino == inode_) return true;
    if (fd_ >= 0) {
        ::close(fd_);
        replaced = true;
    }
    do {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        error_ = "The trace file \"" + path_ + "\" cannot be opened: " + std::strerror(errno) + ".";
        return false;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode)) {
        error_ = "\"" + path_ + "\" is not a trace file but a folder.";
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    device_ = st.st_dev;
    inode_ = st.st_ino;
    return true;
}

UpdateStatus TraceReader::Impl::update(const Visitor& visit) {
    error_.clear();
    bool replaced = false;
    if (!reopen(replaced)) return UpdateStatus::Failed;
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        error_ = "The trace file \"" + path_ + "\" cannot be read: " + std::strerror(errno) + ".";
        return UpdateStatus::Failed;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    FileWindow window(fd_, size);

    // A file that shrank, or whose head or last known section changed, was started again.
    bool restarted = replaced || size < scanned_;
    if (!restarted && count_ > 0) {
        if (head_.present) {
            const std::uint64_t textAt = head_.sectionsOffset - head_.instrumentText.size();
            restarted = window.get(textAt, head_.instrumentText.size()) != head_.instrumentText;
        }
        if (!restarted) restarted = window.get(last_->offset, lastLine_.size()) != lastLine_;
    }
    if (restarted) reset();

    bool headChanged = false;
    if (count_ == 0) {
        // Until a section follows it the head may still be being written: read it again each time.
        TraceHead head;
        const std::string_view start = window.get(0, kMaxHead);
        if (parseHead(start, start.size() == size, head) == HeadParse::NeedMore) {
            head.sectionsOffset = size;  // nothing to scan yet
        }
        headChanged = head.sectionsOffset != head_.sectionsOffset || head.instrumentText != head_.instrumentText ||
                      head.countField != head_.countField;
        if (head.sectionsOffset != head_.sectionsOffset || head.instrumentText != head_.instrumentText) {
            damages_.clear();
            damageCount_ = 0;
            pending_.reset();
            resume_ = head.sectionsOffset;
        }
        head_ = std::move(head);
        if (!options_.values && head_.values) values_ = *head_.values;
    } else if (!head_.countField.empty()) {
        // The binary form rewrites the count field with every reading.
        const std::string_view field = window.get(0, kCountFieldLength);
        if (field != head_.countField) {
            head_.countField = field;
            head_.countValue = countFieldValue(field);
            head_.countIsPlaceholder = field == kCountPlaceholder;
            headChanged = true;
        }
    }

    const std::uint64_t countBefore = count_;
    const std::optional<Damage> pendingBefore = pending_;
    const bool ok = scan(window, visit);
    scanned_ = size;
    if (!ok) {
        error_ = "The trace file \"" + path_ + "\" could not be read: " + std::strerror(window.error()) + ".";
        return UpdateStatus::Failed;
    }
    if (restarted) return UpdateStatus::Restarted;
    const bool pendingChanged = pendingBefore.has_value() != pending_.has_value() ||
                                (pending_ && (pending_->offset != pendingBefore->offset ||
                                              pending_->length != pendingBefore->length));
    return count_ != countBefore || headChanged || pendingChanged ? UpdateStatus::Grew : UpdateStatus::Unchanged;
}

void TraceReader::Impl::addDamage(Damage damage) {
    ++damageCount_;
    if (damages_.size() < options_.maxDamages) damages_.push_back(std::move(damage));
}

std::uint64_t TraceReader::Impl::findSection(FileWindow& window, std::uint64_t from, bool atLineStart) {
    // Windows that overlap by a section line, so that none is missed at a boundary; each starts one
    // byte early, since the byte before a section line must be a LF.
    std::uint64_t at = from;
    bool first = true;
    while (at < window.limit()) {
        const std::uint64_t base = at > 0 ? at - 1 : 0;
        const std::string_view view = window.get(base, FileWindow::kChunk);
        if (view.size() <= at - base) return UINT64_MAX;
        const bool reachesEnd = base + view.size() >= window.limit();
        const std::size_t hit =
            findSectionLine(view, static_cast<std::size_t>(at - base), first && atLineStart, reachesEnd);
        if (hit != std::string_view::npos) return base + hit;
        if (reachesEnd) return UINT64_MAX;
        at = std::max(at + 1, base + view.size() - kMaxSectionLine);
        first = false;
    }
    return UINT64_MAX;
}

bool TraceReader::Impl::followedBySection(FileWindow& window, std::uint64_t at) {
    const std::string_view next = window.get(at, kMaxSectionLine);
    if (next.empty()) return true;  // the end of the file
    SectionLine line;
    return parseSectionLine(next, line) != LineParse::Invalid;
}

std::optional<std::uint32_t> TraceReader::Impl::inferBinaryValues(FileWindow& window, std::uint64_t dataOffset) {
    // Without a head the data length shows only as the distance to the next section line (which
    // follows the data's LF) or to the end of the file.
    std::uint64_t from = dataOffset + 1;
    while (true) {
        const std::uint64_t next = findSection(window, from, false);
        if (next == UINT64_MAX) break;
        const std::uint64_t length = next - 1 - dataOffset;
        if (length >= 4 && length % 4 == 0 && length / 4 <= UINT32_MAX) return static_cast<std::uint32_t>(length / 4);
        from = next + 1;
    }
    const std::uint64_t end = window.limit();
    const std::string_view last = window.get(end - 1, 1);
    if (end > dataOffset + 4 && !last.empty() && last[0] == '\n' && (end - 1 - dataOffset) % 4 == 0) {
        return static_cast<std::uint32_t>((end - 1 - dataOffset) / 4);
    }
    return std::nullopt;
}

TraceReader::Impl::BodyResult TraceReader::Impl::body(FileWindow& window, std::uint64_t at, const SectionLine& line) {
    BodyResult r;
    Section& s = r.section;
    s.offset = at;
    s.dataOffset = at + line.length;
    s.number = line.number;
    s.time = line.time;
    s.form = line.form;
    r.damage.offset = at;
    if (line.form == SectionForm::Binary) {
        if (values_ == 0) {
            const auto inferred = inferBinaryValues(window, s.dataOffset);
            if (!inferred) {
                r.kind = Body::Incomplete;
                r.damage = {DamageKind::CutShort, at, window.limit() - at,
                            "the number of values is not known yet (no head and no second section)"};
                return r;
            }
            values_ = *inferred;
        }
        s.dataLength = std::uint64_t{values_} * 4;
        s.end = s.dataOffset + s.dataLength + 1;
        const std::string_view all = window.get(s.dataOffset, static_cast<std::size_t>(s.dataLength + 1));
        if (all.size() < s.dataLength + 1) {
            r.kind = Body::Incomplete;
            r.damage = {DamageKind::CutShort, at, window.limit() - at,
                        "section " + std::to_string(s.number) + " has " +
                            std::to_string(window.limit() - s.dataOffset) + " of its " +
                            std::to_string(s.dataLength + 1) + " data bytes"};
            return r;
        }
        if (all.back() != '\n' || !followedBySection(window, s.end)) {
            r.kind = Body::Bad;
            r.damage = {DamageKind::WrongLength, at, 0,
                        "section " + std::to_string(s.number) + " is not " + std::to_string(values_) +
                            " values long"};
            return r;
        }
        r.kind = Body::Complete;
        r.data = window.get(s.dataOffset, static_cast<std::size_t>(s.dataLength));
        return r;
    }

    // ASCII: the value line runs to CR LF.
    std::size_t want = FileWindow::kChunk;
    std::uint64_t lineEnd = UINT64_MAX;
    std::size_t searched = 0;
    while (true) {
        const std::string_view view = window.get(s.dataOffset, want);
        for (std::size_t i = searched; i < view.size();) {
            const void* cr = std::memchr(view.data() + i, '\r', view.size() - i);
            if (cr == nullptr) break;
            const auto pos = static_cast<std::size_t>(static_cast<const char*>(cr) - view.data());
            if (pos + 1 < view.size() && view[pos + 1] == '\n') {
                lineEnd = s.dataOffset + pos;
                break;
            }
            if (pos + 1 == view.size()) break;  // the LF may follow in the next bytes
            i = pos + 1;
        }
        if (lineEnd != UINT64_MAX) break;
        if (view.size() < want || want >= kMaxValueLine) {
            r.kind = view.size() < want ? Body::Incomplete : Body::Bad;
            r.damage = {r.kind == Body::Incomplete ? DamageKind::CutShort : DamageKind::WrongValueCount, at,
                        window.limit() - at, "section " + std::to_string(s.number) + " has no complete value line"};
            return r;
        }
        searched = view.size() > 0 ? view.size() - 1 : 0;
        want *= 2;
    }
    s.dataLength = lineEnd - s.dataOffset;
    s.end = lineEnd + 2;
    const std::string_view data = window.get(s.dataOffset, static_cast<std::size_t>(s.dataLength));
    if (!separator_) separator_ = inferSeparator(data, values_);
    const auto count = separator_ ? splitValues(data, *separator_) : std::nullopt;
    if (count && values_ == 0) values_ = static_cast<std::uint32_t>(*count);
    if (!count || *count != values_) {
        r.kind = Body::Bad;
        r.damage = {DamageKind::WrongValueCount, at, 0,
                    "section " + std::to_string(s.number) + ": " +
                        (count ? std::to_string(*count) + " values instead of " + std::to_string(values_)
                               : std::string("the values cannot be read") +
                                     (separator_ ? " with the separator \"" + *separator_ + "\""
                                                 : std::string(" (separator not recognised)")))};
        return r;
    }
    r.kind = Body::Complete;
    r.data = data;
    return r;
}

void TraceReader::Impl::accept(const Section& section, std::string_view data, const Visitor& visit) {
    (section.form == SectionForm::Binary ? sawBinary_ : sawAscii_) = true;
    if (!first_) first_ = section;
    last_ = section;
    ++count_;
    if (options_.keepIndex) index_.push(section.offset);
    if (visit) visit(section, data);
}

bool TraceReader::Impl::scan(FileWindow& window, const Visitor& visit) {
    std::uint64_t at = resume_;
    pending_.reset();
    const std::uint64_t limit = window.limit();
    while (at < limit) {
        const std::string_view view = window.get(at, kMaxSectionLine);
        if (view.empty()) break;
        SectionLine line;
        const LineParse parsed = parseSectionLine(view, line);
        if (parsed == LineParse::NeedMore) {
            pending_ = Damage{DamageKind::CutShort, at, limit - at, "the last section line is not complete"};
            break;
        }
        if (parsed == LineParse::Invalid) {
            const std::uint64_t next = findSection(window, at + 1, false);
            if (next == UINT64_MAX) {
                pending_ = Damage{DamageKind::Unreadable, at, limit - at,
                                  "no section starts at offset " + offsetText(at)};
                break;
            }
            addDamage({DamageKind::Unreadable, at, next - at, "no section starts at offset " + offsetText(at)});
            at = next;
            continue;
        }
        BodyResult r = body(window, at, line);
        if (r.kind == Body::Complete) {
            accept(r.section, r.data, visit);
            lastLineLength_ = line.length;
            at = r.section.end;
            continue;
        }
        if (r.kind == Body::Incomplete) {
            pending_ = r.damage;
            break;
        }
        const std::uint64_t next = findSection(window, at + line.length, false);
        if (next == UINT64_MAX) {
            r.damage.length = limit - at;
            pending_ = r.damage;
            break;
        }
        r.damage.length = next - at;
        addDamage(r.damage);
        at = next;
    }
    if (last_ && lastLineLength_ != 0) {
        lastLine_ = window.get(last_->offset, lastLineLength_);
        lastLineLength_ = 0;
    }
    resume_ = pending_ ? pending_->offset : std::max(at, resume_);
    if (resume_ > limit) resume_ = limit;
    return window.error() == 0;
}

bool TraceReader::Impl::readSection(std::uint64_t index, Section& section, std::vector<char>& bytes) const {
    if (index >= count_ || fd_ < 0 || !options_.keepIndex) return false;
    const std::uint64_t offset = index_.at(index);
    const std::uint64_t end = index + 1 < count_ ? index_.at(index + 1) : last_->end;
    int error = 0;
    if (!readAt(fd_, offset, static_cast<std::size_t>(end - offset), bytes, error)) return false;
    const std::string_view view(bytes.data(), bytes.size());
    SectionLine line;
    if (parseSectionLine(view.substr(0, kMaxSectionLine), line) != LineParse::Ok) return false;
    section = Section{};
    section.offset = offset;
    section.dataOffset = offset + line.length;
    section.number = line.number;
    section.time = line.time;
    section.form = line.form;
    if (line.form == SectionForm::Binary) {
        section.dataLength = std::uint64_t{values_} * 4;
        if (line.length + section.dataLength + 1 > view.size()) return false;
    } else {
        const std::size_t crlf = view.find("\r\n", line.length);
        if (crlf == std::string_view::npos) return false;
        section.dataLength = crlf - line.length;
    }
    section.end = section.dataOffset + section.dataLength + (line.form == SectionForm::Binary ? 1 : 2);
    return true;
}

bool TraceReader::Impl::decode(const Section& section, std::string_view data, std::span<float> out) const {
    if (out.size() < values_) return false;
    if (section.form == SectionForm::Binary) {
        if (data.size() != std::uint64_t{values_} * 4) return false;
        std::memcpy(out.data(), data.data(), data.size());
        if constexpr (std::endian::native == std::endian::big) {
            for (std::uint32_t i = 0; i < values_; ++i) {
                std::uint32_t bits;
                std::memcpy(&bits, &out[i], 4);
                bits = __builtin_bswap32(bits);
                std::memcpy(&out[i], &bits, 4);
            }
        }
        return true;
    }
    if (!separator_) return false;
    const auto count = splitValues(data, *separator_, out.first(values_));
    return count && *count == values_;
}

TraceReader::TraceReader(std::string path, ReaderOptions options)
    : impl_(std::make_unique<Impl>(std::move(path), std::move(options))) {}
TraceReader::~TraceReader() = default;

UpdateStatus TraceReader::update(const Visitor& visit) {
    return impl_->update(visit);
}
const std::string& TraceReader::path() const {
    return impl_->path_;
}
const std::string& TraceReader::error() const {
    return impl_->error_;
}
const TraceHead& TraceReader::head() const {
    return impl_->head_;
}
FileForm TraceReader::form() const {
    if (impl_->sawBinary_ && impl_->sawAscii_) return FileForm::Mixed;
    if (impl_->sawBinary_) return FileForm::Binary;
    if (impl_->sawAscii_) return FileForm::Ascii;
    return FileForm::NoSections;
}
std::uint32_t TraceReader::values() const {
    return impl_->values_;
}
std::optional<std::string> TraceReader::separator() const {
    return impl_->separator_;
}
FrequencyAxis TraceReader::axis() const {
    return frequencyAxis(impl_->head_, impl_->values_);
}
std::uint64_t TraceReader::sectionCount() const {
    return impl_->count_;
}
std::optional<Section> TraceReader::firstSection() const {
    return impl_->first_;
}
std::optional<Section> TraceReader::lastSection() const {
    return impl_->last_;
}
std::optional<Section> TraceReader::section(std::uint64_t index) const {
    Section s;
    std::vector<char> bytes;
    if (!impl_->readSection(index, s, bytes)) return std::nullopt;
    return s;
}
bool TraceReader::read(std::uint64_t index, Section& section, std::vector<float>& values) const {
    std::vector<char> bytes;
    if (!impl_->readSection(index, section, bytes)) return false;
    values.resize(impl_->values_);
    const std::string_view data(bytes.data() + (section.dataOffset - section.offset),
                                static_cast<std::size_t>(section.dataLength));
    return impl_->decode(section, data, values);
}
bool TraceReader::decode(const Section& section, std::string_view data, std::span<float> out) const {
    return impl_->decode(section, data, out);
}
const std::vector<Damage>& TraceReader::damages() const {
    return impl_->damages_;
}
std::uint64_t TraceReader::damageCount() const {
    return impl_->damageCount_;
}
std::optional<Damage> TraceReader::pendingTail() const {
    return impl_->pending_;
}

}  // namespace marlin::reader
