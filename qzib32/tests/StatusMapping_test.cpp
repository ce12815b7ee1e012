#include "exports/StatusMapping.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "channels/ErrorNumberFailure.h"
#include "exports/BusLibrary.h"

using namespace qzib;

TEST(StatusMapping, ErrorNumbersMapToTheirCodes) {
    for (int number : {64, 10022, 10024, 10041, 10043, 10044, 10047, 10055, 10093})
        EXPECT_EQ(ErrorCodeForNumber(number), 2) << number;
    EXPECT_EQ(ErrorCodeForNumber(10036), 6);
    for (int number : {0, 10035, 10054, 10060, 10061, 10050, 1, -1})
        EXPECT_EQ(ErrorCodeForNumber(number), -1) << number;
}

TEST(StatusMapping, CaughtFailuresAreClassifiedInOnePlace) {
    auto classify = [](auto&& raise) {
        try {
            raise();
        } catch (...) {
            return ClassifyFailure(std::current_exception());
        }
        return std::int16_t{99};
    };
    EXPECT_EQ(classify([] { throw ErrorNumberFailure(10024); }), 2);
    EXPECT_EQ(classify([] { throw ErrorNumberFailure(10036); }), 6);
    EXPECT_EQ(classify([] { throw ErrorNumberFailure(10054); }), -1);
    EXPECT_EQ(classify([] { throw std::runtime_error("Connection closed"); }), -1);
    EXPECT_EQ(classify([] { throw std::bad_alloc(); }), -1);
    EXPECT_EQ(classify([] { throw 42; }), -1);
}

TEST(BusLibrary, LocalStandsForTheLoopbackAddressInAnyLetterCase) {
    EXPECT_STREQ(BusLibrary::DeviceAddress("@local"), "127.0.0.1");
    EXPECT_STREQ(BusLibrary::DeviceAddress("@LOCAL"), "127.0.0.1");
    EXPECT_STREQ(BusLibrary::DeviceAddress("@LoCaL"), "127.0.0.1");
    EXPECT_STREQ(BusLibrary::DeviceAddress("127.0.0.1"), "127.0.0.1");
    EXPECT_STREQ(BusLibrary::DeviceAddress("@loc"), "@loc");
    EXPECT_STREQ(BusLibrary::DeviceAddress("@locals"), "@locals");
    EXPECT_STREQ(BusLibrary::DeviceAddress("localhost"), "localhost");
    EXPECT_EQ(BusLibrary::DeviceAddress(nullptr), nullptr);
}
