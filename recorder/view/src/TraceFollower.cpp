#include "marlin/view/TraceFollower.h"

#include <chrono>
#include <filesystem>

namespace marlin::view {

namespace {
constexpr auto kProgressEvery = std::chrono::milliseconds(50);
}

TraceFollower::TraceFollower(ViewModel& model, std::string path) : model_(model), reader_(std::move(path)) {
    model_.startFile(reader_.path());
}

reader::UpdateStatus TraceFollower::poll() {
    auto last = std::chrono::steady_clock::now();
    bool factsGiven = false;
    const auto visit = [&](const reader::Section& section, std::string_view data) {
        // The reader has counted this section already; a count that fell back means the file was
        // started again before this poll found its first new section.
        const std::uint64_t index = reader_.sectionCount() - 1;
        if (index < fed_) {
            model_.restart();
            fed_ = 0;
            factsGiven = false;
        }
        if (!factsGiven) {
            model_.setFileFacts(reader_);
            factsGiven = true;
        }
        values_.resize(reader_.values());
        if (!reader_.decode(section, data, values_)) return;
        model_.addReading(section, values_);
        ++fed_;
        if (progress_) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last >= kProgressEvery) {
                last = now;
                progress_();
            }
        }
    };
    const reader::UpdateStatus status = reader_.update(visit);
    if (status == reader::UpdateStatus::Failed) {
        std::error_code ec;
        // A view opened before the recording started waits for the file.
        model_.setError(std::filesystem::exists(reader_.path(), ec) ? reader_.error()
                                                                    : "waiting for \"" + reader_.path() + "\" to be recorded");
        return status;
    }
    // Started again with no complete section yet: the model starts again empty.
    if (status == reader::UpdateStatus::Restarted && !factsGiven) {
        model_.restart();
        fed_ = 0;
    }
    if (status != reader::UpdateStatus::Unchanged) model_.setFileFacts(reader_);
    return status;
}

bool TraceFollower::serveRequests() {
    bool served = false;
    if (const auto wanted = model_.takeSelectionRequest()) {
        Reading reading;
        reading.index = *wanted;
        if (reader_.read(*wanted, reading.section, reading.values)) {
            model_.setSelected(std::move(reading));
            served = true;
        }
    }
    if (const auto window = model_.takeHoldRequest()) {
        const std::uint64_t count = reader_.sectionCount();
        const std::uint64_t first = count > *window ? count - *window : 0;
        std::vector<std::vector<float>> readings;
        readings.reserve(static_cast<std::size_t>(count - first));
        reader::Section section;
        for (std::uint64_t i = first; i < count; ++i) {
            readings.emplace_back();
            if (!reader_.read(i, section, readings.back())) readings.pop_back();
        }
        model_.setHoldReadings(*window, readings);
        served = true;
    }
    return served;
}

}  // namespace marlin::view
