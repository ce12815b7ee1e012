#pragma once
// Why an instrument could not be opened. The bus library reports only that the open failed, so
// after a failure the recorder repeats the first steps of the connection set-up itself (connect
// to the bus port, exchange the protocol version) and says which one went wrong.

#include <cstdint>
#include <string>

namespace marlin {

class BusPortCheck {
public:
    static constexpr std::uint16_t kDefaultPort = 2525;
    static constexpr int kTimeLimitMs = 3000;

    // The bus port: the "qzib" TCP service of the services database, else 2525.
    static std::uint16_t port();
    // "could not connect to 127.0.0.91, port 2525: connection refused", "... no answer within
    // 3 s", "the instrument at ... answered with protocol version 1, ..."; empty when those steps
    // succeed now (or where the check is not available).
    static std::string explainOpenFailure(const std::string& dottedAddress, int timeLimitMs = kTimeLimitMs);
};

}  // namespace marlin
