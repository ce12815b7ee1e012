// HDF5: datasets traces (readings x points float32, chunks of whole readings, compressed), time
// (float64 seconds since the epoch), frequency (float64, in the head's X Unit) and section (int32),
// the head's fields as attributes of the file and its raw text as "head".
//
// The traces are declared with the library's own shuffle and deflate filters, so that every HDF5
// reader unpacks them, but their chunks are packed here: deflate with run-length matches only is a
// few times faster than the library's setting on measured values and packs them at least as well,
// and the chunks are packed on several threads while the file is read.
#include "ExportSink.h"

#ifdef MARLIN_HAVE_HDF5

#include <hdf5.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <thread>

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
                      const hsize_t* chunk) {
    const hsize_t dims[2] = {0, rank == 2 ? columns[0] : 0};
    const hsize_t maxDims[2] = {H5S_UNLIMITED, rank == 2 ? columns[0] : 0};
    Handle space(H5Screate_simple(rank, dims, maxDims), H5Sclose);
    Handle properties(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    H5Pset_chunk(properties.get(), rank, chunk);
    H5Pset_shuffle(properties.get());
    H5Pset_deflate(properties.get(), 1);
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

// Shuffle (byte k of every value together) and deflate, as the library's filters would.
std::vector<char> packChunk(const std::vector<float>& values) {
    const std::size_t n = values.size();
    std::vector<unsigned char> shuffled(n * 4);
    const auto* bytes = reinterpret_cast<const unsigned char*>(values.data());
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k < 4; ++k) shuffled[k * n + i] = bytes[4 * i + k];
    }
    std::vector<char> packed(compressBound(static_cast<uLong>(shuffled.size())));
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK) return {};
    z.next_in = shuffled.data();
    z.avail_in = static_cast<uInt>(shuffled.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    const int rc = deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END) return {};
    return packed;
}

class Hdf5Sink : public ExportSink {
public:
    explicit Hdf5Sink(std::string output) : output_(std::move(output)) {}
    ~Hdf5Sink() override {
        for (auto& f : packing_) f.wait();
    }
    std::vector<std::string> outputs() const override { return {output_}; }

    bool begin(const ExportContext& context, const std::vector<std::string>& paths, std::string& error) override {
        H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);  // errors are reported here, not printed by the library
        file_ = Handle(H5Fcreate(paths[0].c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT), H5Fclose);
        if (!file_.valid()) return fail("created", error);
        points_ = context.points;
        chunkRows_ = std::max<hsize_t>(1, kChunkBytes / (points_ * sizeof(float)));
        const hsize_t chunk[2] = {chunkRows_, points_};
        traces_ = chunkedDataset(file_.get(), "traces", H5T_IEEE_F32LE, 2, &points_, chunk);
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
        workers_ = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
        return true;
    }

    bool add(const reader::Section& section, std::span<const float> values, std::string& error) override {
        const double time = section.time.epochSeconds();
        const std::int32_t number = section.number;
        rows_.insert(rows_.end(), values.begin(), values.end());
        if (rows_.size() == chunkRows_ * points_ && !sendChunk()) return fail("written", error);
        if (!time_.add(&time) || !section_.add(&number)) return fail("written", error);
        return true;
    }

    bool finish(std::string& error) override {
        bool ok = rows_.empty() || sendChunk();
        while (ok && !packing_.empty()) ok = writeOldest();
        ok = ok && time_.flush() && section_.flush();
        ok = traces_.close() && time_.close() && section_.close() && ok;
        ok = file_.close() && ok;
        if (!ok) return fail("written", error);
        return true;
    }

private:
    // Hands the gathered rows to a packing thread; the oldest packed chunk is written once as many
    // chunks are in flight as there are threads.
    bool sendChunk() {
        const hsize_t rows = rows_.size() / points_;
        rows_.resize(chunkRows_ * points_, 0.0f);  // a last chunk is stored whole, beyond the extent
        packing_.push_back(std::async(std::launch::async, packChunk, std::move(rows_)));
        pendingRows_.push_back(rows);
        rows_ = {};
        rows_.reserve(chunkRows_ * points_);
        return packing_.size() < workers_ || writeOldest();
    }

    bool writeOldest() {
        const std::vector<char> packed = packing_.front().get();
        const hsize_t rows = pendingRows_.front();
        packing_.pop_front();
        pendingRows_.pop_front();
        if (packed.empty()) return false;
        const hsize_t extent[2] = {written_ + rows, points_};
        const hsize_t offset[2] = {written_, 0};
        if (H5Dset_extent(traces_.get(), extent) < 0 ||
            H5Dwrite_chunk(traces_.get(), H5P_DEFAULT, 0, offset, packed.size(), packed.data()) < 0) {
            return false;
        }
        written_ += rows;
        return true;
    }

    bool fail(const char* what, std::string& error) {
        error = "\"" + output_ + "\" could not be " + what + " by the HDF5 library";
        return false;
    }

    std::string output_;
    Handle file_, traces_;
    GrowingVector time_, section_;
    hsize_t points_ = 0, chunkRows_ = 1, written_ = 0;
    std::vector<float> rows_;
    std::deque<std::future<std::vector<char>>> packing_;
    std::deque<hsize_t> pendingRows_;
    std::size_t workers_ = 1;
};

}  // namespace

std::unique_ptr<ExportSink> makeHdf5Sink(const ExportOptions& options) {
    return std::make_unique<Hdf5Sink>(options.output);
}

}  // namespace marlin::cli

#else

namespace marlin::cli {
std::unique_ptr<ExportSink> makeHdf5Sink(const ExportOptions&) {
    return nullptr;
}
}  // namespace marlin::cli

#endif
