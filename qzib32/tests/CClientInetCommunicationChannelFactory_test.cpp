#include "channels/CClientInetCommunicationChannelFactory.h"

#include <gtest/gtest.h>

#include "FakeInstrument.h"
#include "TestPlatform.h"

using namespace qzibtest;
using qzib::CClientInetCommunicationChannelFactory;

TEST(CClientInetCommunicationChannelFactory, ConnectRunsTheSetUpExchange) {
    FakeInstrument::Options options;
    options.token = {0x01, 0x80, 0xFF, 0x00};
    FakeInstrument instrument("127.0.0.23", options);
    CClientInetCommunicationChannelFactory factory;
    auto channel = factory.Connect("127.0.0.23", "tcp", "qzib");
    ASSERT_NE(channel, nullptr);
    ASSERT_TRUE(instrument.waitForSessions(1));
    EXPECT_EQ(instrument.versionReceived(), Bytes({0x00, 0x00, 0x00, 0x40}));
    EXPECT_EQ(instrument.tokenReceived(), Bytes({0x01, 0x80, 0xFF, 0x00}));
    EXPECT_EQ(instrument.connectionsAccepted(), 2u);
    EXPECT_NE(channel->GetControlSocket(), qzib::kInvalidSocket);
    EXPECT_TRUE(channel->SetNoDelay(true));
    channel.reset();
    EXPECT_TRUE(instrument.waitForClientClosed());

    // The port may be given as digits, and the service name in any letter case.
    auto byNumber = factory.Connect("127.0.0.23", "tcp", "2525");
    EXPECT_NE(byNumber, nullptr);
    auto inCapitals = factory.Connect("127.0.0.23", "tcp", "QZIB");
    EXPECT_NE(inCapitals, nullptr);
    EXPECT_TRUE(instrument.waitForSessions(3));
}

TEST(CClientInetCommunicationChannelFactory, AVersionReplyOtherThanTwoFailsAndClosesTheDataConnection) {
    FakeInstrument::Options options;
    options.versionReply = {0x00, 0x00, 0x80, 0x3F};  // 1.0
    FakeInstrument instrument("127.0.0.24", options);
    CClientInetCommunicationChannelFactory factory;
    EXPECT_EQ(factory.Connect("127.0.0.24", "tcp", "qzib"), nullptr);
    EXPECT_TRUE(instrument.waitForClientClosed());
    EXPECT_EQ(instrument.connectionsAccepted(), 1u);

    // 2.0 in the other byte order is not 2.0 either.
    FakeInstrument::Options swapped;
    swapped.versionReply = {0x40, 0x00, 0x00, 0x00};
    FakeInstrument instrument2("127.0.0.25", swapped);
    EXPECT_EQ(factory.Connect("127.0.0.25", "tcp", "qzib"), nullptr);
    EXPECT_EQ(instrument2.connectionsAccepted(), 1u);
}

TEST(CClientInetCommunicationChannelFactory, AnInstrumentThatSendsNoTokenFailsWithinTheLimit) {
    FakeInstrument::Options options;
    options.sendToken = false;
    FakeInstrument instrument("127.0.0.26", options);
    CClientInetCommunicationChannelFactory factory(300);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(factory.Connect("127.0.0.26", "tcp", "qzib"), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_TRUE(instrument.waitForClientClosed());
    EXPECT_EQ(instrument.connectionsAccepted(), 1u);

    // No version reply at all fails the same way.
    FakeInstrument::Options silent;
    silent.sendVersionReply = false;
    FakeInstrument instrument2("127.0.0.27", silent);
    EXPECT_EQ(factory.Connect("127.0.0.27", "tcp", "qzib"), nullptr);
}

TEST(CClientInetCommunicationChannelFactory, MappingFailuresWriteTheirDebugLines) {
    const auto debugLines = debugLinesOn();
    CClientInetCommunicationChannelFactory factory;
    testing::internal::CaptureStderr();
    EXPECT_EQ(factory.Connect("127.0.0.28", "tcp", "abc"), nullptr);
    EXPECT_EQ(
        testing::internal::GetCapturedStderr(),
        "CClientInetCommunicationChannelFactory::Connect(): Failed to map service abc to port address using "
        "protocol tcp\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(factory.Connect("127.0.0.28", "no-such-protocol", "qzib"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CServerInetCommunicationChannelFactory::Connect(): Failed to map no-such-protocol to protocol "
              "number\n");

    // A known protocol that is neither tcp nor udp.
    testing::internal::CaptureStderr();
    EXPECT_EQ(factory.Connect("127.0.0.28", "icmp", "qzib"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CClientInetCommunicationChannelFactory::Connect(): Unknown protocol icmp");

    // Nobody listens at this address: the connection is refused.
    testing::internal::CaptureStderr();
    EXPECT_EQ(factory.Connect("127.0.0.28", "tcp", "qzib"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CClientInetCommunicationChannelFactory::Connect(): error connecting socket, WSALastError() = "
              "10061\n");
}

TEST(CClientInetCommunicationChannelFactory, DebugLinesStayOffStandardErrorUnlessAskedFor) {
    // Every program that loads the library would otherwise show them to its user.
    CClientInetCommunicationChannelFactory factory;
    for (const char* setting : {static_cast<const char*>(nullptr), "0", "yes"}) {
        ScopedEnvironment variable("QZIB32_DEBUG", setting);
        testing::internal::CaptureStderr();
        EXPECT_EQ(factory.Connect("127.0.0.28", "tcp", "qzib"), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << (setting ? setting : "(not set)");
    }
}
