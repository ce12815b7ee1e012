#pragma once
// What the view shows, without any window: the file's facts, the newest and the selected reading,
// the holds, the waterfall's cells and colours, and the damage the reader found. The follower feeds
// it from its own thread; the window reads it while holding mutex() and asks for other readings
// through requests that the follower serves.

#include <marlin/reader/TraceReader.h>
#include <marlin/view/LevelScale.h>
#include <marlin/view/TraceHolds.h>
#include <marlin/view/Waterfall.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace marlin::view {

struct Reading {
    std::uint64_t index = 0;  // 0-based, in file order
    reader::Section section;
    std::vector<float> values;
};

class ViewModel {
public:
    explicit ViewModel(int waterfallRows = 1024, int waterfallColumns = 2048);

    // Hold this while using the accessors below from another thread than the follower's.
    std::mutex& mutex() const { return mutex_; }

    // Fed by the follower (each takes the lock itself).
    void startFile(const std::string& path);
    void restart();
    void setFileFacts(const reader::TraceReader& reader);
    void addReading(const reader::Section& section, std::span<const float> values);
    void setSelected(Reading reading);
    void setHoldReadings(std::size_t window, const std::vector<std::vector<float>>& readings);
    void setError(std::string error);
    void setLoading(bool loading);
    // Fits the automatic level range again (at most every 250 ms unless forced); true if it moved.
    bool refreshLevels(bool force);

    // Asked by the window (each takes the lock itself).
    void select(std::optional<std::uint64_t> reading);  // none: always the newest
    void step(std::int64_t delta);                      // from the reading shown
    void setHoldWindow(std::size_t readings);           // 0: over all readings
    void setLevels(double low, double high);
    void setAutomaticLevels();

    // Requests for the follower (each takes the lock itself).
    std::optional<std::uint64_t> takeSelectionRequest();
    std::optional<std::size_t> takeHoldRequest();

    // State; hold mutex() when another thread may feed the model.
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }
    bool loading() const { return loading_; }
    const reader::TraceHead& head() const { return head_; }
    reader::FileForm form() const { return form_; }
    const reader::FrequencyAxis& axis() const { return axis_; }
    std::uint32_t points() const { return points_; }
    std::uint64_t count() const { return count_; }
    std::uint64_t restarts() const { return restarts_; }
    std::uint64_t generation() const { return generation_; }  // rises with every change
    const std::optional<Reading>& newest() const { return newest_; }
    // The reading the trace pane shows: the selected one, or the newest.
    const Reading* shown() const;
    bool followsNewest() const { return !pinned_; }
    const TraceHolds& holds() const { return holds_; }
    const LevelScale& levels() const { return levels_; }
    const Waterfall& waterfall() const { return waterfall_; }
    const std::vector<reader::Damage>& damages() const { return damages_; }
    std::uint64_t damageCount() const { return damageCount_; }
    const std::optional<reader::Damage>& pendingTail() const { return pending_; }
    // One line each: file and form, instrument, readings and the newest's time, damage.
    std::vector<std::string> statusLines() const;

private:
    void clear();
    bool refreshLevelsLocked(bool force);

    mutable std::mutex mutex_;
    std::string path_, error_;
    bool loading_ = false;
    reader::TraceHead head_;
    reader::FileForm form_ = reader::FileForm::NoSections;
    reader::FrequencyAxis axis_;
    std::uint32_t points_ = 0;
    std::uint64_t count_ = 0, restarts_ = 0, generation_ = 0;
    std::optional<Reading> newest_, selected_;
    std::optional<std::uint64_t> pinned_, selectionRequest_;
    std::optional<std::size_t> holdRequest_;
    TraceHolds holds_;
    LevelScale levels_;
    Waterfall waterfall_;
    std::vector<reader::Damage> damages_;
    std::uint64_t damageCount_ = 0;
    std::optional<reader::Damage> pending_;
    std::chrono::steady_clock::time_point levelsFitted_{};
};

}  // namespace marlin::view
