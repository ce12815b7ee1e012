#include "marlin/view/ViewModel.h"

#include <marlin/heatmap/Heatmap.h>

#include <algorithm>
#include <filesystem>

namespace marlin::view {

namespace {

constexpr auto kLevelRefit = std::chrono::milliseconds(250);
// Readings below which the level range is fitted at every one, so a new file looks right at once.
constexpr std::uint64_t kEagerLevelReadings = 16;

std::string engineering(double value, const std::string& unit) {
    return heatmap::engineeringText(value, QString::fromStdString(unit)).toStdString();
}

}  // namespace

ViewModel::ViewModel(int waterfallRows, int waterfallColumns) : waterfall_(waterfallRows, waterfallColumns) {}

void ViewModel::clear() {
    error_.clear();
    head_ = reader::TraceHead{};
    form_ = reader::FileForm::NoSections;
    axis_ = reader::FrequencyAxis{};
    points_ = 0;
    count_ = 0;
    newest_.reset();
    selected_.reset();
    pinned_.reset();
    selectionRequest_.reset();
    holds_.reset(0);
    levels_.reset();
    waterfall_.reset(0);
    damages_.clear();
    damageCount_ = 0;
    pending_.reset();
    ++generation_;
}

void ViewModel::startFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    path_ = path;
    restarts_ = 0;
    clear();
}

void ViewModel::restart() {
    std::lock_guard lock(mutex_);
    ++restarts_;
    clear();
}

void ViewModel::setFileFacts(const reader::TraceReader& reader) {
    std::lock_guard lock(mutex_);
    if (reader.head().instrumentText != head_.instrumentText || reader.head().countField != head_.countField) {
        head_ = reader.head();
    }
    form_ = reader.form();
    axis_ = reader.axis();
    if (damageCount_ != reader.damageCount()) damages_ = reader.damages();
    damageCount_ = reader.damageCount();
    pending_ = reader.pendingTail();
    if (!reader.error().empty()) error_ = reader.error();
    ++generation_;
}

void ViewModel::addReading(const reader::Section& section, std::span<const float> values) {
    std::lock_guard lock(mutex_);
    if (points_ == 0) {
        points_ = static_cast<std::uint32_t>(values.size());
        holds_.reset(points_);
        waterfall_.reset(points_);
    }
    const std::uint64_t index = count_++;
    if (!newest_) newest_.emplace();
    newest_->index = index;
    newest_->section = section;
    newest_->values.assign(values.begin(), values.end());
    holds_.add(values);
    levels_.add(values);
    if (index < kEagerLevelReadings) refreshLevelsLocked(true);
    else refreshLevelsLocked(false);
    waterfall_.add(index, section.time.epochSeconds(), values, levels_);
    error_.clear();
    ++generation_;
}

bool ViewModel::refreshLevels(bool force) {
    std::lock_guard lock(mutex_);
    return refreshLevelsLocked(force);
}

bool ViewModel::refreshLevelsLocked(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - levelsFitted_ < kLevelRefit) return false;
    levelsFitted_ = now;
    if (!levels_.refresh()) return false;
    waterfall_.recolour(levels_);
    ++generation_;
    return true;
}

void ViewModel::setSelected(Reading reading) {
    std::lock_guard lock(mutex_);
    if (pinned_ != reading.index) return;  // the user moved on meanwhile
    selected_ = std::move(reading);
    ++generation_;
}

void ViewModel::setHoldReadings(std::size_t window, const std::vector<std::vector<float>>& readings) {
    std::lock_guard lock(mutex_);
    if (holds_.window() != window) return;
    holds_.refill(readings);
    ++generation_;
}

void ViewModel::setError(std::string error) {
    std::lock_guard lock(mutex_);
    error_ = std::move(error);
    ++generation_;
}

void ViewModel::setLoading(bool loading) {
    std::lock_guard lock(mutex_);
    loading_ = loading;
    ++generation_;
}

void ViewModel::select(std::optional<std::uint64_t> reading) {
    std::lock_guard lock(mutex_);
    if (reading && count_ > 0 && *reading + 1 >= count_) reading.reset();  // the newest: follow it
    if (reading && count_ == 0) reading.reset();
    pinned_ = reading;
    if (!reading) {
        selected_.reset();
        selectionRequest_.reset();
    } else if (!selected_ || selected_->index != *reading) {
        selectionRequest_ = reading;
    }
    ++generation_;
}

void ViewModel::step(std::int64_t delta) {
    std::uint64_t target = 0;
    {
        std::lock_guard lock(mutex_);
        if (count_ == 0) return;
        const auto from = static_cast<std::int64_t>(pinned_.value_or(count_ - 1));
        target = static_cast<std::uint64_t>(std::clamp<std::int64_t>(from + delta, 0, static_cast<std::int64_t>(count_ - 1)));
    }
    select(target);
}

void ViewModel::setHoldWindow(std::size_t readings) {
    std::lock_guard lock(mutex_);
    if (holds_.window() == readings) return;
    holds_.setWindow(readings);
    if (readings > 0) holdRequest_ = readings;
    else holdRequest_.reset();
    ++generation_;
}

void ViewModel::setLevels(double low, double high) {
    std::lock_guard lock(mutex_);
    levels_.setManual(low, high);
    waterfall_.recolour(levels_);
    ++generation_;
}

void ViewModel::setAutomaticLevels() {
    std::lock_guard lock(mutex_);
    levels_.setAutomatic();
    if (levels_.refresh(0.0)) waterfall_.recolour(levels_);
    ++generation_;
}

std::optional<std::uint64_t> ViewModel::takeSelectionRequest() {
    std::lock_guard lock(mutex_);
    return std::exchange(selectionRequest_, std::nullopt);
}

std::optional<std::size_t> ViewModel::takeHoldRequest() {
    std::lock_guard lock(mutex_);
    return std::exchange(holdRequest_, std::nullopt);
}

const Reading* ViewModel::shown() const {
    if (pinned_ && selected_ && selected_->index == *pinned_) return &*selected_;
    if (pinned_ && selected_) return &*selected_;  // the next one is on its way
    return newest_ ? &*newest_ : nullptr;
}

std::vector<std::string> ViewModel::statusLines() const {
    std::vector<std::string> lines;
    std::string file = std::filesystem::path(path_).filename().string();
    if (file.empty()) file = "no file";
    if (count_ > 0 || form_ != reader::FileForm::NoSections) file += ", " + std::string(reader::formName(form_));
    lines.push_back(file);

    std::string instrument;
    auto add = [&](const char* label, const char* key) {
        const reader::HeadField* f = head_.field(key);
        const auto value = head_.number(key);
        if (!f || !value) return;
        if (!instrument.empty()) instrument += ", ";
        instrument += std::string(label) + " " + engineering(*value, f->unit);
    };
    add("centre", "Center Freq");
    add("span", "Span");
    add("RBW", "RBW");
    add("sweep", "Sweep Time");
    lines.push_back(instrument.empty() ? std::string("no instrument head") : instrument);

    std::string readings = std::to_string(count_) + (count_ == 1 ? " reading" : " readings");
    if (newest_) readings += ", newest " + newest_->section.time.isoText();
    if (loading_) readings += " (reading the file)";
    lines.push_back(readings);

    if (!error_.empty()) {
        lines.push_back(error_);
    } else if (damageCount_ > 0) {
        const reader::Damage& first = damages_.front();
        lines.push_back("damage: " + std::to_string(damageCount_) + " (first: " +
                        std::string(reader::damageName(first.kind)) + " at byte " + std::to_string(first.offset) + ")");
    } else if (pending_ && pending_->kind != reader::DamageKind::CutShort) {
        lines.push_back("damage: " + std::string(reader::damageName(pending_->kind)) + " at the end");
    } else {
        lines.push_back("no damage");
    }
    return lines;
}

}  // namespace marlin::view
