#include "Spectrum.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace marlin::sim {
namespace {

constexpr float kNone = -1000.0f;

std::uint64_t splitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double unitInterval(std::uint64_t& state) {
    return (static_cast<double>(splitMix(state) >> 11) + 0.5) * (1.0 / 9007199254740992.0);
}

// The power sum of two levels in dB: the higher one plus 10·log10(1 + 10^(-d/10)) for their
// difference d, taken from a table, since it runs for every point near a carrier in every sweep.
class PowerSumTable {
public:
    static constexpr double kRangeDb = 30.0;  // beyond this the lower level adds under 0.005 dB
    static constexpr double kStepDb = 0.01;

    PowerSumTable() {
        table_.resize(static_cast<std::size_t>(kRangeDb / kStepDb) + 2);
        for (std::size_t i = 0; i < table_.size(); ++i)
            table_[i] = 10.0 * std::log10(1.0 + std::pow(10.0, -static_cast<double>(i) * kStepDb / 10.0));
    }

    double sum(double a, double b) const {
        const double hi = std::max(a, b);
        const double d = (hi - std::min(a, b)) / kStepDb;
        if (d >= kRangeDb / kStepDb) return hi;
        const std::size_t i = static_cast<std::size_t>(d);
        const double f = d - static_cast<double>(i);
        return hi + table_[i] + (table_[i + 1] - table_[i]) * f;
    }

private:
    std::vector<double> table_;
};

double powerSumDb(double a, double b) {
    static const PowerSumTable table;
    return table.sum(a, b);
}

// A Gaussian resolution filter is a parabola in dB: 3.01 dB down at half the bandwidth.
constexpr double kFilterDbPerRbw2 = 12.04;

// Carriers in the default view around 1 GHz.
constexpr double kHopChannelsHz[] = {962.0e6, 972.5e6, 1012.0e6, 1040.0e6};
constexpr std::uint64_t kSweepsPerHop = 64;
constexpr double kDriftHz = 0.4e6;
constexpr double kDriftPeriodSweeps = 97.0;
constexpr double kMovingLevelDbm = -38.0;

}  // namespace

Spectrum::Spectrum() {
    configure(Settings{});
}

std::vector<Spectrum::Carrier> Spectrum::steadyCarriers() {
    return {{985.0e6, -32.0}, {1000.0e6, -20.0}, {1031.5e6, -47.0}};
}

double Spectrum::noiseFloorDbm() const {
    return -152.0 + 10.0 * std::log10(std::max(settings_.rbwHz, 1.0));
}

double Spectrum::frequencyOfPoint(std::uint32_t index) const {
    if (settings_.points < 2) return settings_.startHz;
    return settings_.startHz +
           (settings_.stopHz - settings_.startHz) * static_cast<double>(index) / (settings_.points - 1);
}

void Spectrum::configure(const Settings& settings) {
    const bool reseed = noise_.empty() || settings.seed != settings_.seed;
    settings_ = settings;
    if (reseed) {
        // Video-filtered detector noise: the dB value of the mean of a few exponential samples.
        std::uint64_t state = settings_.seed * 0x2545F4914F6CDD1Dull + 0x1234567;
        noise_.resize(kNoiseTableSize);
        for (float& v : noise_) {
            double power = 0.0;
            for (int k = 0; k < 4; ++k) power -= std::log(unitInterval(state));
            v = static_cast<float>(10.0 * std::log10(power / 4.0));
        }
    }
    steadyProfile_.assign(settings_.points, kNone);
    for (const Carrier& c : steadyCarriers()) addCarrier(c, steadyProfile_);
}

void Spectrum::addCarrier(const Carrier& carrier, std::vector<float>& profile) const {
    const double rbw = std::max(settings_.rbwHz, 1.0);
    const double reach = rbw * std::sqrt((carrier.levelDbm - noiseFloorDbm() + 20.0) / kFilterDbPerRbw2);
    if (!(reach > 0.0)) return;
    for (std::uint32_t i = 0; i < settings_.points; ++i) {
        const double df = frequencyOfPoint(i) - carrier.frequencyHz;
        if (std::fabs(df) > reach) continue;
        const double level = carrier.levelDbm - kFilterDbPerRbw2 * (df / rbw) * (df / rbw);
        profile[i] = profile[i] == kNone ? static_cast<float>(level)
                                         : static_cast<float>(powerSumDb(profile[i], level));
    }
}

Spectrum::Carrier Spectrum::movingCarrier(std::uint64_t sweep) const {
    std::uint64_t state = settings_.seed ^ ((sweep / kSweepsPerHop) * 0xD1B54A32D192ED03ull);
    const std::size_t channel = splitMix(state) % std::size(kHopChannelsHz);
    const double drift =
        kDriftHz * std::sin(2.0 * std::numbers::pi * static_cast<double>(sweep) / kDriftPeriodSweeps);
    return {kHopChannelsHz[channel] + drift, kMovingLevelDbm};
}

void Spectrum::sweep(std::uint64_t sweep, float* out) const {
    std::uint64_t state = settings_.seed + sweep * 0x9E3779B97F4A7C15ull;
    const std::size_t offset = splitMix(state) % kNoiseTableSize;
    const float floor = static_cast<float>(noiseFloorDbm());
    const std::uint32_t n = settings_.points;
    for (std::uint32_t i = 0; i < n; ++i) {
        const float noise = floor + noise_[(offset + i) % kNoiseTableSize];
        const float carrier = steadyProfile_[i];
        if (carrier == kNone) {
            out[i] = noise;
        } else {
            // A carrier well above the floor still wobbles a little from sweep to sweep.
            const float jittered = carrier + 0.05f * noise_[(offset + 7 * i + 3) % kNoiseTableSize];
            out[i] = static_cast<float>(powerSumDb(noise, jittered));
        }
    }
    const Carrier moving = movingCarrier(sweep);
    const double rbw = std::max(settings_.rbwHz, 1.0);
    const double reach = rbw * std::sqrt((moving.levelDbm - noiseFloorDbm() + 20.0) / kFilterDbPerRbw2);
    if (!(reach > 0.0) || n == 0) return;
    // Only the points within reach of the carrier need the power sum.
    const double step = n > 1 ? (settings_.stopHz - settings_.startHz) / (n - 1) : 0.0;
    std::uint32_t first = 0;
    std::uint32_t last = n - 1;
    if (step > 0.0) {
        const double lo = std::ceil((moving.frequencyHz - reach - settings_.startHz) / step);
        const double hi = std::floor((moving.frequencyHz + reach - settings_.startHz) / step);
        if (hi < 0.0 || lo > static_cast<double>(n - 1)) return;
        first = static_cast<std::uint32_t>(std::max(lo, 0.0));
        last = static_cast<std::uint32_t>(std::min(hi, static_cast<double>(n - 1)));
    }
    for (std::uint32_t i = first; i <= last; ++i) {
        const double df = frequencyOfPoint(i) - moving.frequencyHz;
        if (std::fabs(df) > reach) continue;
        const double level = moving.levelDbm - kFilterDbPerRbw2 * (df / rbw) * (df / rbw);
        out[i] = static_cast<float>(powerSumDb(out[i], level));
    }
}

}  // namespace marlin::sim
