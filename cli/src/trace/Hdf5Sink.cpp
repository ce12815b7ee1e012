// HDF5: datasets traces (readings x points float32, chunks of whole readings, compressed), time
// (float64 seconds since the epoch), frequency (float64, in the head's X Unit) and section (int32),
// the head's fields as attributes of the file and its raw text as "head".
//
// The traces are declared with the library's own shuffle and deflate filters, so that every HDF5
// reader unpacks them, but their chunks are packed here (ChunkPacker), on worker threads while the
// file is read: the library's deflate would take several times longer than reading the file. The
// reading thread shuffles each row into its chunk as it comes, which is no dearer than copying it.
#include "ExportSink.h"

#ifdef MARLIN_HAVE_HDF5

#include <hdf5.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "ChunkPacker.h"

namespace marlin::cli {

namespace {

// About this much data per chunk: large enough to pack well, small enough to read one stretch of
// a recording without unpacking much more.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
constexpr hsize_t kVectorChunk = 16384;

// Closes an HDF5 handle with the right function when it goes out of scope.
class Handle {
public:
    Handle() = default;
    Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(Handle&& other) noexcept {
        reset();
        id_ = other.id_;
        close_ = other.close_;
        other.id_ = H5I_INVALID_HID;
        return *this;
    }
    void reset() {
        if (id_ >= 0 && close_) close_(id_);
        id_ = H5I_INVALID_HID;
    }
    // Closes now and says whether that worked (the file's close writes what is still buffered).
    bool close() {
        const bool ok = id_ < 0 || !close_ || close_(id_) >= 0;
        id_ = H5I_INVALID_HID;
        return ok;
    }
    hid_t get() const { return id_; }
    bool valid() const { return id_ >= 0; }

private:
    hid_t id_ = H5I_INVALID_HID;
    herr_t (*close_)(hid_t) = nullptr;
};

bool stringAttribute(hid_t on, const std::string& name, const std::string& value) {
    if (name.empty() || H5Aexists(on, name.c_str()) > 0) return true;  // a repeated key keeps its first value
    Handle type(H5Tcopy(H5T_C_S1), H5Tclose);
    H5Tset_size(type.get(), std::max<std::size_t>(1, value.size()));
    H5Tset_strpad(type.get(), H5T_STR_NULLPAD);
    Handle space(H5Screate(H5S_SCALAR), H5Sclose);
    Handle attribute(H5Acreate2(on, name.c_str(), type.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    const std::string stored = value.empty() ? std::string(1, '\0') : value;
    return attribute.valid() && H5Awrite(attribute.get(), type.get(), stored.data()) >= 0;
}

bool numberAttribute(hid_t on, const std::string& name, double value) {
    if (H5Aexists(on, name.c_str()) > 0) return true;
    Handle space(H5Screate(H5S_SCALAR), H5Sclose);
    Handle attribute(H5Acreate2(on, name.c_str(), H5T_IEEE_F64LE, space.get(), H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    return attribute.valid() && H5Awrite(attribute.get(), H5T_NATIVE_DOUBLE, &value) >= 0;
}

Handle chunkedDataset(hid_t file, const char* name, hid_t type, int rank, const hsize_t* columns,
                      const hsize_t* chunk, bool compress = true) {
    const hsize_t dims[2] = {0, rank == 2 ? columns[0] : 0};
    const hsize_t maxDims[2] = {H5S_UNLIMITED, rank == 2 ? columns[0] : 0};
    Handle space(H5Screate_simple(rank, dims, maxDims), H5Sclose);
    Handle properties(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    H5Pset_chunk(properties.get(), rank, chunk);
    if (compress) {
        H5Pset_shuffle(properties.get());
        H5Pset_deflate(properties.get(), 1);
    }
    return Handle(H5Dcreate2(file, name, type, space.get(), H5P_DEFAULT, properties.get(), H5P_DEFAULT), H5Dclose);
}

// A 1-D dataset that grows as values arrive, written a chunk at a time through the library.
class GrowingVector {
public:
    bool create(hid_t file, const char* name, hid_t fileType, hid_t memoryType, std::size_t elementSize) {
        memoryType_ = memoryType;
        elementSize_ = elementSize;
        set_ = chunkedDataset(file, name, fileType, 1, nullptr, &kVectorChunk);
        return set_.valid();
    }
    hid_t id() const { return set_.get(); }
    bool add(const void* value) {
        const auto* bytes = static_cast<const char*>(value);
        buffer_.insert(buffer_.end(), bytes, bytes + elementSize_);
        return buffer_.size() < kVectorChunk * elementSize_ || flush();
    }
    bool flush() {
        const hsize_t count = buffer_.size() / elementSize_;
        if (count == 0) return true;
        const hsize_t size = rows_ + count;
        if (H5Dset_extent(set_.get(), &size) < 0) return false;
        Handle fileSpace(H5Dget_space(set_.get()), H5Sclose);
        H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_SET, &rows_, nullptr, &count, nullptr);
        Handle memorySpace(H5Screate_simple(1, &count, nullptr), H5Sclose);
        const bool ok =
            H5Dwrite(set_.get(), memoryType_, memorySpace.get(), fileSpace.get(), H5P_DEFAULT, buffer_.data()) >= 0;
        rows_ = size;
        buffer_.clear();
        return ok;
    }
    bool close() { return set_.close(); }

private:
    Handle set_;
    hid_t memoryType_ = H5I_INVALID_HID;
    std::size_t elementSize_ = 0;
    hsize_t rows_ = 0;
    std::vector<char> buffer_;
};

// One chunk of rows on its way to the file, with the time and section number of each row.
// Its buffers are not cleared when made: only the pages that are written are ever touched.
struct Chunk {
    Chunk(std::size_t rowBytes, std::size_t packedBytes)
        : rows(std::make_unique_for_overwrite<char[]>(rowBytes)),
          packed(packedBytes > 0 ? std::make_unique_for_overwrite<char[]>(packedBytes) : nullptr) {}
    // The rows' little-endian floats: as they are, or already shuffled when the chunk is to be packed.
    std::unique_ptr<char[]> rows;
    std::unique_ptr<char[]> packed;
    std::size_t packedSize = 0;
    std::vector<double> times;
    std::vector<std::int32_t> sections;
    bool done = false;
};

// The way of the chunks: the reading thread fills them, a few threads pack them, and one thread
// takes them in the order they came to write them; written chunks come back to be filled again,
// so that a fixed number of them (and of memory) serves the whole file.
class ChunkLine {
public:
    // Chunks of `rowBytes`; without packers they go to the writer as they are.
    ChunkLine(std::size_t packers, std::size_t chunks, std::size_t rowBytes)
        : chunks_(chunks),
          rowBytes_(rowBytes),
          packedBytes_(packers > 0 ? ChunkPacker::packedBound(rowBytes) : 0) {
        for (std::size_t i = 0; i < packers; ++i) threads_.emplace_back([this] { pack(); });
    }
    ~ChunkLine() {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
            waiting_.clear();  // what no thread has begun is dropped
        }
        wake_.notify_all();
        for (auto& t : threads_) t.join();
    }
    ChunkLine(const ChunkLine&) = delete;
    ChunkLine& operator=(const ChunkLine&) = delete;

    // An empty chunk; waits while all of them are on their way.
    std::unique_ptr<Chunk> empty() {
        std::unique_ptr<Chunk> chunk;
        {
            std::unique_lock lock(mutex_);
            returned_.wait(lock, [&] { return !free_.empty() || made_ < chunks_; });
            if (free_.empty()) {
                ++made_;
            } else {
                chunk = std::move(free_.back());
                free_.pop_back();
            }
        }
        if (!chunk) chunk = std::make_unique<Chunk>(rowBytes_, packedBytes_);
        chunk->times.clear();
        chunk->sections.clear();
        chunk->done = false;
        return chunk;
    }
    void send(std::unique_ptr<Chunk> chunk) {
        {
            const std::lock_guard lock(mutex_);
            if (threads_.empty()) {
                chunk->done = true;
            } else {
                waiting_.push_back(chunk.get());
            }
            order_.push_back(std::move(chunk));
        }
        wake_.notify_one();
        if (threads_.empty()) done_.notify_all();
    }
    // No more chunks will be sent.
    void close() {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
        }
        done_.notify_all();
    }
    // The oldest chunk once packed; nullptr once the line is closed and empty.
    std::unique_ptr<Chunk> oldest() {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return (!order_.empty() && order_.front()->done) || (closed_ && order_.empty()); });
        if (order_.empty()) return nullptr;
        std::unique_ptr<Chunk> chunk = std::move(order_.front());
        order_.pop_front();
        return chunk;
    }
    void giveBack(std::unique_ptr<Chunk> chunk) {
        {
            const std::lock_guard lock(mutex_);
            free_.push_back(std::move(chunk));
        }
        returned_.notify_one();
    }

private:
    void pack() {
        ChunkPacker packer;
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
            if (waiting_.empty()) return;
            Chunk* chunk = waiting_.front();
            waiting_.pop_front();
            lock.unlock();
            try {
                chunk->packedSize =
                    packer.packShuffled(reinterpret_cast<const unsigned char*>(chunk->rows.get()), rowBytes_,
                                        chunk->packed.get());
            } catch (const std::bad_alloc&) {
                chunk->packedSize = 0;  // the export fails when this chunk's turn comes
            }
            lock.lock();
            chunk->done = true;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_, returned_;
    std::deque<std::unique_ptr<Chunk>> order_;  // sent and not yet taken, oldest first
    std::deque<Chunk*> waiting_;                // those no thread has begun to pack
    std::vector<std::unique_ptr<Chunk>> free_;
    std::size_t chunks_, made_ = 0;
    std::size_t rowBytes_, packedBytes_;
    bool stopping_ = false, closed_ = false;
    std::vector<std::thread> threads_;
};

class Hdf5Sink : public ExportSink {
public:
    Hdf5Sink(std::string output, bool compress) : output_(std::move(output)), compress_(compress) {}
    ~Hdf5Sink() override { stopWriting(); }
    std::vector<std::string> outputs() const override { return {output_}; }

    bool begin(const ExportContext& context, const std::vector<std::string>& paths, std::string& error) override {
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // errors are reported here, not printed by the library
        file_ = Handle(H5Fcreate(paths[0].c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT), H5Fclose);
        if (!file_.valid()) return fail("created", error);
        points_ = context.points;
        chunkRows_ = std::max<hsize_t>(1, kChunkBytes / (points_ * sizeof(float)));
        const hsize_t chunk[2] = {chunkRows_, points_};
        traces_ = chunkedDataset(file_.get(), "traces", H5T_IEEE_F32LE, 2, &points_, chunk, compress_);
        if (!traces_.valid() ||
            !time_.create(file_.get(), "time", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, sizeof(double)) ||
            !section_.create(file_.get(), "section", H5T_STD_I32LE, H5T_NATIVE_INT32, sizeof(std::int32_t))) {
            return fail("written", error);
        }
        // The axis is known in full: one plain dataset.
        std::vector<double> axis(points_);
        for (std::uint32_t i = 0; i < points_; ++i) axis[i] = context.axis.at(i);
        Handle space(H5Screate_simple(1, &points_, nullptr), H5Sclose);
        Handle frequency(H5Dcreate2(file_.get(), "frequency", H5T_IEEE_F64LE, space.get(), H5P_DEFAULT, H5P_DEFAULT,
                                    H5P_DEFAULT),
                         H5Dclose);
        if (!frequency.valid() ||
            H5Dwrite(frequency.get(), H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, axis.data()) < 0) {
            return fail("written", error);
        }

        const reader::TraceHead& head = context.reader->head();
        const std::string yUnit = head.field("Y Unit") ? head.field("Y Unit")->value : std::string();
        bool ok = stringAttribute(frequency.get(), "unit", context.axis.fromHead ? context.axis.unit : "point") &&
                  stringAttribute(traces_.get(), "unit", yUnit) &&
                  stringAttribute(time_.id(), "unit", "s since 1970-01-01T00:00:00Z") &&
                  stringAttribute(file_.get(), "head", head.instrumentText) &&
                  stringAttribute(file_.get(), "count_field", head.countField);
        if (head.intervalSeconds) ok = ok && numberAttribute(file_.get(), "interval_s", *head.intervalSeconds);
        for (const auto& f : head.fields) {
            ok = ok && stringAttribute(file_.get(), f.key, f.value);
            if (!f.unit.empty()) ok = ok && stringAttribute(file_.get(), f.key + " unit", f.unit);
        }
        if (!ok) return fail("written", error);
        // From here on only the writing thread calls the library, until finish() has stopped it.
        const std::size_t packers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
        line_ = std::make_unique<ChunkLine>(compress_ ? packers : 0, packers + 2, chunkBytes());
        writer_ = std::thread([this] { writeChunks(); });
        nextChunk();
        return true;
    }

    bool add(const reader::Section& section, std::span<const float> values, std::string& error) override {
        addRow(values.data());
        return added(section, error);
    }
    bool takesBinaryData() const override { return true; }
    bool addBinary(const reader::Section& section, std::string_view data, std::string& error) override {
        addRow(data.data());
        return added(section, error);
    }

    bool finish(std::string& error) override {
        if (!filling_->sections.empty()) sendChunk();
        stopWriting();
        bool ok = !failed_ && time_.flush() && section_.flush();
        ok = traces_.close() && time_.close() && section_.close() && ok;
        ok = file_.close() && ok;
        if (!ok) return fail("written", error);
        return true;
    }

private:
    // A row of `points_` little-endian floats into the chunk being filled: shuffled on the way when
    // the chunk is to be packed, which spares the packer a pass over it.
    void addRow(const void* values) {
        const std::size_t row = filling_->sections.size();
        char* rows = filling_->rows.get();
        if (compress_) {
            ChunkPacker::shuffle(values, points_, reinterpret_cast<unsigned char*>(rows) + row * points_,
                                 chunkRows_ * points_);
        } else {
            std::memcpy(rows + row * points_ * sizeof(float), values, points_ * sizeof(float));
        }
    }

    void nextChunk() { filling_ = line_->empty(); }
    std::size_t chunkBytes() const { return chunkRows_ * points_ * sizeof(float); }

    bool added(const reader::Section& section, std::string& error) {
        filling_->times.push_back(section.time.epochSeconds());
        filling_->sections.push_back(section.number);
        if (filling_->sections.size() == chunkRows_) sendChunk();
        if (failed_) return fail("written", error);
        return true;
    }

    void sendChunk() {
        // A last chunk is stored whole, beyond the extent: its missing rows are zeros.
        const std::size_t filled = filling_->sections.size() * points_, whole = chunkRows_ * points_;
        char* rows = filling_->rows.get();
        if (filled < whole) {
            if (compress_) {
                for (std::size_t k = 0; k < sizeof(float); ++k)
                    std::memset(rows + k * whole + filled, 0, whole - filled);
            } else {
                std::memset(rows + filled * sizeof(float), 0, (whole - filled) * sizeof(float));
            }
        }
        line_->send(std::move(filling_));
        nextChunk();
    }

    // The writing thread: the packed chunks in order, and the times and section numbers of their rows.
    void writeChunks() {
        while (std::unique_ptr<Chunk> chunk = line_->oldest()) {
            if (!failed_ && !writeChunk(*chunk)) failed_ = true;
            line_->giveBack(std::move(chunk));
        }
    }

    bool writeChunk(const Chunk& chunk) {
        if (compress_ && chunk.packedSize == 0) return false;
        const hsize_t rows = chunk.sections.size();
        const hsize_t extent[2] = {written_ + rows, points_};
        const hsize_t offset[2] = {written_, 0};
        if (H5Dset_extent(traces_.get(), extent) < 0 ||
            (compress_
                 ? H5Dwrite_chunk(traces_.get(), H5P_DEFAULT, 0, offset, chunk.packedSize, chunk.packed.get())
                 : H5Dwrite_chunk(traces_.get(), H5P_DEFAULT, 0, offset, chunkBytes(), chunk.rows.get())) <
                0) {
            return false;
        }
        written_ += rows;
        for (hsize_t i = 0; i < rows; ++i) {
            if (!time_.add(&chunk.times[i]) || !section_.add(&chunk.sections[i])) return false;
        }
        return true;
    }

    void stopWriting() {
        if (!writer_.joinable()) return;
        line_->close();
        writer_.join();
    }

    bool fail(const char* what, std::string& error) {
        error = "\"" + output_ + "\" could not be " + what + " by the HDF5 library";
        return false;
    }

    std::string output_;
    bool compress_;
    Handle file_, traces_;
    GrowingVector time_, section_;
    hsize_t points_ = 0, chunkRows_ = 1, written_ = 0;
    std::unique_ptr<ChunkLine> line_;
    std::unique_ptr<Chunk> filling_;
    std::thread writer_;
    std::atomic<bool> failed_{false};
};

}  // namespace

std::unique_ptr<ExportSink> makeHdf5Sink(const ExportOptions& options) {
    return std::make_unique<Hdf5Sink>(options.output, options.compress);
}

}  // namespace marlin::cli

#else

namespace marlin::cli {
std::unique_ptr<ExportSink> makeHdf5Sink(const ExportOptions&) {
    return nullptr;
}
}  // namespace marlin::cli

#endif
