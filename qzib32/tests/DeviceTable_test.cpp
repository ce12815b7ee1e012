#include "device/DeviceTable.h"

#include <gtest/gtest.h>

#include "device/CBusDevice.h"

using qzib::CBusDevice;
using qzib::DeviceTable;

namespace {

// A device without a protocol, to see the table's bookkeeping alone.
class PlainDevice : public CBusDevice {
public:
    using CBusDevice::CBusDevice;
    bool Write(const void*, std::uint32_t, std::uint32_t&, bool) override { return true; }
    bool Read(void*, std::uint32_t, std::uint32_t&) override { return true; }
    int TestSrq() override { return 0; }
    bool WaitSrq(std::int16_t&) override { return true; }
    bool SerialPoll(std::uint8_t&) override { return true; }
    bool SetRemoteEnable(bool) override { return true; }
    bool GoToLocal() override { return true; }
    bool DeviceClear() override { return true; }
};

}  // namespace

TEST(DeviceTable, HandlesCountFromOneAndAreFoundByHandleAndExactAddress) {
    DeviceTable table;
    auto* a = new PlainDevice(table, "inst-a");
    auto* b = new PlainDevice(table, "Inst-A");
    EXPECT_EQ(a->ud, 1);
    EXPECT_EQ(b->ud, 2);
    EXPECT_TRUE(a->eotEnabled);
    EXPECT_EQ(a->timeoutMs, 5000);
    EXPECT_EQ(table.Find(1), a);
    EXPECT_EQ(table.Find(2), b);
    EXPECT_EQ(table.Find(3), nullptr);
    EXPECT_EQ(table.Find(-1), nullptr);
    EXPECT_EQ(table.FindByAddress("inst-a"), a);
    EXPECT_EQ(table.FindByAddress("Inst-A"), b);
    EXPECT_EQ(table.FindByAddress("INST-A"), nullptr);
    delete a;
    EXPECT_EQ(table.Find(1), nullptr);
    EXPECT_EQ(table.Count(), 1u);
    // Handles are never reused.
    auto* c = new PlainDevice(table, "inst-a");
    EXPECT_EQ(c->ud, 3);
}

TEST(DeviceTable, TheCounterPassesOverMinusOneAndZeroWhenItWraps) {
    DeviceTable table;
    std::int16_t last = 0;
    for (int i = 0; i < 32767; ++i) last = table.TakeNextUd();
    EXPECT_EQ(last, 32767);
    EXPECT_EQ(table.TakeNextUd(), -32768);
    for (int i = 0; i < 32765; ++i) last = table.TakeNextUd();
    EXPECT_EQ(last, -3);
    EXPECT_EQ(table.TakeNextUd(), -2);
    EXPECT_EQ(table.TakeNextUd(), 1);
}

TEST(DeviceTable, DestroyingTheTableDestroysItsDevicesNewestFirst) {
    std::vector<std::int16_t> order;
    struct Noting : PlainDevice {
        Noting(DeviceTable& t, const char* a, std::vector<std::int16_t>& o) : PlainDevice(t, a), log(o) {}
        ~Noting() override { log.push_back(ud); }
        std::vector<std::int16_t>& log;
    };
    {
        DeviceTable table;
        new Noting(table, "x", order);
        new Noting(table, "y", order);
        new Noting(table, "z", order);
    }
    EXPECT_EQ(order, (std::vector<std::int16_t>{3, 2, 1}));
}
