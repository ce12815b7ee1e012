#include "channels/CServerInetCommunicationChannelFactory.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "FakeInstrument.h"
#include "TestPlatform.h"
#include "channels/CClientInetCommunicationChannelFactory.h"
#include "channels/ErrorNumberFailure.h"

using namespace qzibtest;
using qzib::CClientInetCommunicationChannelFactory;
using qzib::CServerInetCommunicationChannelFactory;
using qzib::CSocketCommunicationChannel;

namespace {

std::string textFailure(const char* protocol, const char* service) {
    try {
        CServerInetCommunicationChannelFactory server(protocol, service, 4, "127.0.0.20");
    } catch (const std::runtime_error& failure) {
        return failure.what();
    }
    return "";
}

}  // namespace

TEST(CServerInetCommunicationChannelFactory, ServesTheSetUpExchangeThroughAcceptedChannels) {
    CServerInetCommunicationChannelFactory server("tcp", "qzib", 4, "127.0.0.21");
    EXPECT_EQ(server.GetPort(), 2525);
    EXPECT_EQ(server.WaitForConnection(10u), qzib::kInvalidSocket);

    std::unique_ptr<CSocketCommunicationChannel> client;
    std::thread connector([&] {
        CClientInetCommunicationChannelFactory factory;
        client = factory.Connect("127.0.0.21", "tcp", "qzib");
    });
    // The instrument's side, written with the library's own channel operations.
    auto served = server.AcceptChannel(5000);
    ASSERT_NE(served, nullptr);
    float version = 0;
    std::uint32_t received = 0;
    ASSERT_TRUE(served->ReadData(&version, 4, received, 5000));
    EXPECT_EQ(version, 2.0f);
    const unsigned char token[4] = {9, 8, 7, 6};
    qzib::SendBuffer reply[2] = {{4, &version}, {4, token}};
    std::uint32_t sent = 0;
    ASSERT_TRUE(served->WriteData(reply, 2, sent, 5000));
    EXPECT_EQ(sent, 8u);
    qzib::SocketHandle control = server.WaitForConnection(5000u);
    ASSERT_NE(control, qzib::kInvalidSocket);
    served->SetControlSocket(control);
    unsigned char echoed[4] = {};
    ASSERT_TRUE(served->ReadControl(echoed, 4, 5000));
    EXPECT_EQ(Bytes(echoed, echoed + 4), Bytes({9, 8, 7, 6}));
    connector.join();
    ASSERT_NE(client, nullptr);

    // Messages both ways on both connections.
    const Bytes message = dataBlock("*IDN?", kFlagEnd, 1);
    qzib::SendBuffer out{static_cast<std::uint32_t>(message.size()), message.data()};
    ASSERT_TRUE(client->WriteData(&out, 1, sent, 5000));
    EXPECT_EQ(served->WaitForInput(5000), CSocketCommunicationChannel::kDataReadable);
    Bytes in(message.size());
    ASSERT_TRUE(served->ReadData(in.data(), static_cast<std::uint32_t>(in.size()), received, 5000));
    EXPECT_EQ(in, message);
    const Bytes request = encodeHeader(0, kFlagEnd | kFlagQuery, 0, 0);
    ASSERT_TRUE(client->WriteControl(request.data(), 7, 5000));
    unsigned char header[7];
    ASSERT_TRUE(served->ReadControl(header, 7, 5000));
    const Bytes answer = encodeHeader(0, kFlagEnd | kFlagSrq, 0, 0);
    ASSERT_TRUE(served->WriteControl(answer.data(), 7, 5000));
    ASSERT_TRUE(client->ReadControl(header, 7, 5000));
    EXPECT_EQ(Bytes(header, header + 7), answer);

    // Both ends closing at once see each other's end without waiting out the drain bound.
    auto start = std::chrono::steady_clock::now();
    std::thread closer([&] { client.reset(); });
    served.reset();
    closer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST(CServerInetCommunicationChannelFactory, RaisesTextFailuresForWhatItCannotMap) {
    EXPECT_EQ(textFailure("no-such-protocol", "qzib"), "Unknown protocol name");
    EXPECT_EQ(textFailure("tcp", "abc"), "Unknown service for specified protocol");
    EXPECT_EQ(textFailure("icmp", "qzib"), "Unexpected protocol type");
}

TEST(CServerInetCommunicationChannelFactory, ABusyAddressRaisesTheErrorNumberAndReuseWorksAfterClose) {
    const auto debugLines = debugLinesOn();
    {
        CServerInetCommunicationChannelFactory first("tcp", "2525", 4, "127.0.0.22");
        testing::internal::CaptureStderr();
        try {
            CServerInetCommunicationChannelFactory second("tcp", "2525", 4, "127.0.0.22");
            ADD_FAILURE() << "the address is in use";
        } catch (const qzib::ErrorNumberFailure& failure) {
            EXPECT_EQ(failure.number(), 10048);
        }
        EXPECT_EQ(
            testing::internal::GetCapturedStderr(),
            "CServerInetCommunicationChannelFactory::CServerInetCommunicationChannelFactory(): error binding "
            "socket, WSALastError() = 10048\n");
        // Leave a connection behind in TIME_WAIT.
        int client = connectTo("127.0.0.22");
        qzib::SocketHandle accepted = first.WaitForConnection(5000u);
        ASSERT_NE(accepted, qzib::kInvalidSocket);
        shutdownWrite(client);
        { CSocketCommunicationChannel closing(accepted); }
        closeFd(client);
    }
    EXPECT_NO_THROW(CServerInetCommunicationChannelFactory again("tcp", "qzib", 4, "127.0.0.22"));
}
