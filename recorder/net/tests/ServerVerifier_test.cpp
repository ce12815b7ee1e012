#include "marlin/net/ServerVerifier.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace marlin {
namespace {

// Restores the socket kinds a test changed.
struct AllowedSockets {
    explicit AllowedSockets(unsigned kinds) { ServerVerifier::setAllowedSockets(kinds); }
    ~AllowedSockets() { ServerVerifier::setAllowedSockets(ServerVerifier::kAnySocket); }
};

TEST(ServerVerifierTest, DottedAddressToLong) {
    const auto value = ServerVerifier::DottedAddressToLong("192.168.1.20");
    EXPECT_EQ(ServerVerifier::LowByteOf(value), 192);
    EXPECT_EQ(ServerVerifier::HighByteOf(value), 168);
    EXPECT_EQ(static_cast<std::uint32_t>(value) >> 24, 20u);
    EXPECT_EQ(ServerVerifier::DottedAddressToLong("10.0.0"), 0);
    EXPECT_EQ(ServerVerifier::DottedAddressToLong(""), 0);
    EXPECT_EQ(ServerVerifier::DottedAddressToLong("10.0.0.300"),
              ServerVerifier::DottedAddressToLong("10.0.0.44"));
    EXPECT_THROW(ServerVerifier::DottedAddressToLong("10.0.x.1"), std::invalid_argument);
    EXPECT_THROW(ServerVerifier::DottedAddressToLong("1.2.3.4.5"), std::invalid_argument);
}

TEST(ServerVerifierTest, EchoStatusTexts) {
    EXPECT_EQ(ServerVerifier::EchoStatusText(0), "Ping erfolgreich!");
    EXPECT_EQ(ServerVerifier::EchoStatusText(100), "ping timeout");
    EXPECT_EQ(ServerVerifier::EchoStatusText(11003), "ip dest host unreachable");
    EXPECT_EQ(ServerVerifier::EchoStatusText(11010), "ip req timed out");
    EXPECT_EQ(ServerVerifier::EchoStatusText(11050), "ip general failure");
    EXPECT_EQ(ServerVerifier::EchoStatusText(11255), "ip pending");
    EXPECT_EQ(ServerVerifier::EchoStatusText(42), "unknown msg returned");
}

TEST(ServerVerifierTest, LoopbackHostAnswersOrTheReasonIsClear) {
    std::string problem;
    const bool reachable = ServerVerifier::CheckHostReachable("127.0.0.113", &problem);
    if (!problem.empty()) {
        // The sandbox allows no ICMP socket: the message must say so.
        EXPECT_FALSE(reachable);
        EXPECT_NE(problem.find("could not be sent"), std::string::npos);
        return;
    }
    EXPECT_TRUE(reachable);
    EchoReply reply;
    EXPECT_GE(ServerVerifier::SendEcho("127.0.0.113", reply), 0);
    EXPECT_EQ(reply.Status, 0);
    EXPECT_LT(reply.RoundTripTime, ServerVerifier::kTimeoutMs);
}

TEST(ServerVerifierTest, RawSocketAloneWorksOrSaysWhy) {
    const AllowedSockets rawOnly(ServerVerifier::kRaw);
    std::string problem;
    const bool reachable = ServerVerifier::CheckHostReachable("127.0.0.114", &problem);
    EXPECT_TRUE(reachable || problem.find("could not be sent") != std::string::npos) << problem;
}

TEST(ServerVerifierTest, NoIcmpSocketGivesAClearMessage) {
    const AllowedSockets none(0);
    std::string problem;
    EXPECT_FALSE(ServerVerifier::CheckHostReachable("127.0.0.115", &problem));
    EXPECT_NE(problem.find("The echo request could not be sent"), std::string::npos);
    EXPECT_NE(problem.find("ping_group_range"), std::string::npos);
    EchoReply reply;
    EXPECT_EQ(ServerVerifier::SendEcho("127.0.0.115", reply), -ServerVerifier::kStatusGeneralFailure);
}

TEST(ServerVerifierTest, EmptyOrZeroAddressIsNeverReachable) {
    std::string problem;
    EXPECT_FALSE(ServerVerifier::CheckHostReachable("", &problem));
    EXPECT_TRUE(problem.empty());
    EXPECT_FALSE(ServerVerifier::CheckHostReachable("0.0.0.0", &problem));
    EchoReply reply;
    EXPECT_EQ(ServerVerifier::SendEcho("1.2.x.4", reply), -ServerVerifier::kStatusBadDestination);
}

}  // namespace
}  // namespace marlin
