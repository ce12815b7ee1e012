#include "marlin/net/ClsIPResolve.h"

#include <gtest/gtest.h>

namespace marlin {
namespace {

TEST(ClsIPResolveTest, DottedAddressResolvesToItselfNormalised) {
    const ClsIPResolve resolver;
    ASSERT_TRUE(resolver.socketsReady());
    EXPECT_EQ(resolver.NameToAddress("127.0.0.112"), "127.0.0.112");
    EXPECT_EQ(resolver.NameToAddress("localhost"), "127.0.0.1");
}

TEST(ClsIPResolveTest, UnknownNamesGiveTheEmptyText) {
    const ClsIPResolve resolver;
    EXPECT_EQ(resolver.NameToAddress(""), "");
    EXPECT_EQ(resolver.NameToAddress("host.invalid"), "");
}

TEST(ClsIPResolveTest, AddressToNameOfANameIsEmptyWithoutALookUp) {
    const ClsIPResolve resolver;
    EXPECT_EQ(resolver.AddressToName("localhost"), "");
    EXPECT_EQ(resolver.AddressToName("127.0.0.1"), "localhost");
}

TEST(ClsIPResolveTest, IsDottedAddress) {
    EXPECT_FALSE(ClsIPResolve::IsDottedAddress("10.1.2"));
    EXPECT_FALSE(ClsIPResolve::IsDottedAddress("127.1.2.256"));
    EXPECT_FALSE(ClsIPResolve::IsDottedAddress("127.1..2"));
    EXPECT_FALSE(ClsIPResolve::IsDottedAddress("10.1.x.2"));
    EXPECT_TRUE(ClsIPResolve::IsDottedAddress("10.1.2.3"));
}

TEST(ClsIPResolveTest, DottedToLongPutsTheFirstPartInTheLowestByte) {
    EXPECT_EQ(ClsIPResolve::DottedToLong("1.2.3.4"), 0x04030201);
    EXPECT_LT(ClsIPResolve::DottedToLong("1.2.3.200"), 0);
    EXPECT_EQ(static_cast<std::uint32_t>(ClsIPResolve::DottedToLong("1.2.3.200")) >> 24, 200u);
}

TEST(ClsIPResolveTest, TrimAtNul) {
    EXPECT_EQ(ClsIPResolve::TrimAtNul(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(ClsIPResolve::TrimAtNul("abc"), "abc");
}

}  // namespace
}  // namespace marlin
