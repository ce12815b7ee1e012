#pragma once

#include <cstdint>
#include <vector>

namespace marlin::sim {

// The signal scene the simulated analyzer looks at: a noise floor that follows the resolution
// bandwidth, a few steady carriers and one carrier that drifts and hops between channels as the
// sweeps go by. A sweep is a pure function of the seed, the sweep number and the settings.
class Spectrum {
public:
    struct Settings {
        double startHz = 950e6;
        double stopHz = 1050e6;
        std::uint32_t points = 501;
        double rbwHz = 1e6;
        std::uint64_t seed = 1;
    };

    struct Carrier {
        double frequencyHz;
        double levelDbm;
    };

    Spectrum();

    void configure(const Settings& settings);
    const Settings& settings() const { return settings_; }

    // Fills out (settings().points values, dBm) with sweep number `sweep`.
    void sweep(std::uint64_t sweep, float* out) const;

    // Where the moving carrier sits during sweep number `sweep`.
    Carrier movingCarrier(std::uint64_t sweep) const;
    static std::vector<Carrier> steadyCarriers();

    double noiseFloorDbm() const;
    double frequencyOfPoint(std::uint32_t index) const;

private:
    void addCarrier(const Carrier& carrier, std::vector<float>& profile) const;

    static constexpr std::size_t kNoiseTableSize = 8192;

    Settings settings_;
    std::vector<float> noise_;          // dB deviations around the floor, kNoiseTableSize entries
    std::vector<float> steadyProfile_;  // carrier level per point, or kNone where there is none
};

}  // namespace marlin::sim
