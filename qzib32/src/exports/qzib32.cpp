// The exported C interface. Every function follows one frame: look up the device, run its
// operation inside try, turn what was caught into ibsta/iberr, return ibsta. No exception
// leaves the library.

#include "qzib32.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "channels/ErrorNumberFailure.h"
#include "device/CBusDevice.h"
#include "exports/BusLibrary.h"
#include "exports/StatusMapping.h"

namespace qzib {
namespace {

// Created when the library is loaded (by the program's start or by dlopen) and destroyed when
// it is unloaded (exit or dlclose).
BusLibrary g_library;

constexpr std::uint32_t kAllBytes = 0xFFFFFFFFu;
constexpr std::size_t kFileBlock = 1024;

// The caller's status triple; missing pointers are replaced by scratch variables.
class Status {
public:
    Status(std::int16_t* ibsta, std::int16_t* iberr, std::int32_t* ibcntl)
        : m_sta(ibsta != nullptr ? ibsta : &m_scratchSta),
          m_err(iberr != nullptr ? iberr : &m_scratchErr),
          m_cntl(ibcntl != nullptr ? ibcntl : &m_scratchCntl) {}

    void set(std::int16_t sta, std::int16_t err) {
        *m_sta = sta;
        *m_err = err;
    }
    void count(std::uint32_t n) { *m_cntl = static_cast<std::int32_t>(n); }
    void fail(std::int16_t err) { set(kStatusErr, err); }
    std::int16_t sta() const { return *m_sta; }

private:
    std::int16_t* m_sta;
    std::int16_t* m_err;
    std::int32_t* m_cntl;
    std::int16_t m_scratchSta = 0;
    std::int16_t m_scratchErr = 0;
    std::int32_t m_scratchCntl = 0;
};

// Runs op on the device named by ud; an unknown ud and every caught failure become status.
template <typename Operation>
std::int16_t onDevice(std::int16_t ud, Status& status, Operation&& op) {
    CBusDevice* device = BusLibrary::Instance().Devices().Find(ud);
    if (device == nullptr) {
        status.fail(kErrUnknownDevice);
        return status.sta();
    }
    try {
        op(*device);
    } catch (...) {
        status.fail(ClassifyFailure(std::current_exception()));
    }
    return status.sta();
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The file and the block buffer of a file transfer; on failure the status says why and the
// transfer is empty.
struct FileTransfer {
    std::unique_ptr<std::FILE, FileCloser> file;
    std::unique_ptr<char[]> block;
    explicit operator bool() const { return file && block; }
};

FileTransfer openTransfer(const char* fileName, const char* mode, Status& status) {
    FileTransfer transfer;
    transfer.file.reset(fileName != nullptr ? std::fopen(fileName, mode) : nullptr);
    if (!transfer.file) {
        status.fail(kErrFileOpen);
        return transfer;
    }
    transfer.block.reset(new (std::nothrow) char[kFileBlock]);
    if (!transfer.block) status.fail(kErrNoMemory);
    return transfer;
}

std::int16_t writeBytes(std::int16_t ud, const char* buffer, std::uint32_t count, Status& status) {
    status.count(0);
    return onDevice(ud, status, [&](CBusDevice& device) {
        if (buffer == nullptr && count > 0) {
            status.fail(kErrOther);
            return;
        }
        std::uint32_t sent = 0;
        bool ok = device.Write(buffer, count, sent, false);
        status.count(sent);
        if (!ok)
            status.set(kStatusErrTimo, kErrTimeout);
        else if (sent != count)
            status.set(kStatusErr, kErrOther);
        else
            status.set(kStatusCmpl, 0);
    });
}

std::int16_t readBytes(std::int16_t ud, char* buffer, std::uint32_t count, Status& status) {
    std::uint32_t received = 0;
    status.count(0);
    std::int16_t result = onDevice(ud, status, [&](CBusDevice& device) {
        if (buffer == nullptr && count > 0) {
            status.fail(kErrOther);
            return;
        }
        bool ok = device.Read(buffer, count, received);
        status.count(received);
        if (ok)
            status.set(kStatusCmpl, 0);
        else
            status.set(kStatusErrTimo, kErrTimeout);
    });
    // What arrived before a failure is in the buffer; the count says how much.
    if ((result & kStatusErr) != 0 && received > 0) status.count(received);
    return status.sta();
}

}  // namespace

BusLibrary& BusLibrary::Instance() {
    return g_library;
}

}  // namespace qzib

using namespace qzib;

extern "C" {

QZIB32_API std::int16_t QZIB32_CALL QZDLLibfind(const char* address, std::int16_t* ibsta, std::int16_t* iberr,
                                                std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    try {
        std::int16_t ud = BusLibrary::Instance().Open(address).ud;
        status.set(kStatusCmpl, 0);
        return ud;
    } catch (...) {
        status.fail(kErrOpenFailed);
        return -1;
    }
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibwrt(std::int16_t ud, const char* text, std::int16_t* ibsta,
                                               std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    if (text == nullptr) return writeBytes(ud, nullptr, 1, status);  // reported as a bad buffer
    return writeBytes(ud, text, static_cast<std::uint32_t>(std::strlen(text)), status);
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLilwrt(std::int16_t ud, const char* buffer, std::uint32_t count,
                                               std::int16_t* ibsta, std::int16_t* iberr,
                                               std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    return writeBytes(ud, buffer, count, status);
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibrd(std::int16_t ud, char* buffer, std::int16_t* ibsta,
                                              std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    return readBytes(ud, buffer, kAllBytes, status);
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLilrd(std::int16_t ud, char* buffer, std::uint32_t count,
                                              std::int16_t* ibsta, std::int16_t* iberr,
                                              std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    return readBytes(ud, buffer, count, status);
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibwrtf(std::int16_t ud, const char* fileName, std::int16_t* ibsta,
                                                std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    std::uint32_t total = 0;
    return onDevice(ud, status, [&](CBusDevice& device) {
        FileTransfer transfer = openTransfer(fileName, "rb", status);
        if (!transfer) return;
        std::FILE* const file = transfer.file.get();
        char* const block = transfer.block.get();
        bool ok = true;
        std::size_t n = 0;
        do {
            n = std::fread(block, 1, kFileBlock, file);
            if (n < kFileBlock && std::ferror(file)) {
                // A read error must not pass for the end of the file.
                status.fail(kErrOther);
                return;
            }
            std::uint32_t sent = 0;
            ok = device.Write(block, static_cast<std::uint32_t>(n), sent, n == kFileBlock);
            total += sent;
            status.count(total);
        } while (n == kFileBlock && ok);
        if (!ok)
            status.set(kStatusErrTimo, kErrTimeout);
        else
            status.set(kStatusCmpl, 0);
    });
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibrdf(std::int16_t ud, const char* fileName, std::int16_t* ibsta,
                                               std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    std::uint32_t total = 0;
    return onDevice(ud, status, [&](CBusDevice& device) {
        // The whole transfer shares one time limit: an instrument that never stops sending
        // must not grow the file without end.
        const CBusDevice::CallTimeLimit limit(device);
        FileTransfer transfer = openTransfer(fileName, "wb", status);
        if (!transfer) return;
        std::FILE* const file = transfer.file.get();
        char* const block = transfer.block.get();
        bool ok = true;
        std::uint32_t got = 0;
        do {
            got = 0;
            ok = device.Read(block, kFileBlock, got);
            std::size_t written = std::fwrite(block, 1, got, file);
            total += static_cast<std::uint32_t>(written);
            status.count(total);
            if (written != got) {
                // A full disk must not pass for a complete transfer.
                status.fail(kErrOther);
                return;
            }
        } while (got == kFileBlock && ok);
        if (std::fclose(transfer.file.release()) != 0) {
            status.fail(kErrOther);
            return;
        }
        if (!ok)
            status.set(kStatusErrTimo, kErrTimeout);
        else
            status.set(kStatusCmpl, 0);
    });
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLTestSrq(std::int16_t ud, std::int16_t* result, std::int16_t* ibsta,
                                                 std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    return onDevice(ud, status, [&](CBusDevice& device) {
        std::int16_t pending = static_cast<std::int16_t>(device.TestSrq());
        if (result != nullptr) *result = pending;
        status.set(0, 0);
    });
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLWaitSrq(std::int16_t ud, std::int16_t* result, std::int16_t* ibsta,
                                                 std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    return onDevice(ud, status, [&](CBusDevice& device) {
        std::int16_t pending = 0;
        bool ok = device.WaitSrq(pending);
        if (result != nullptr) *result = pending;
        if (ok)
            status.set(0, 0);
        else
            status.set(kStatusErrTimo, kErrTimeout);
    });
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibrsp(std::int16_t ud, char* statusByte, std::int16_t* ibsta,
                                               std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(1);
    return onDevice(ud, status, [&](CBusDevice& device) {
        std::uint8_t polled = 0;
        bool ok = device.SerialPoll(polled);
        if (statusByte != nullptr) *statusByte = static_cast<char>(polled);
        if (ok)
            status.set(kStatusCmpl, 0);
        else
            status.set(kStatusErrTimo, kErrTimeout);
    });
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibtmo(std::int16_t ud, std::int16_t seconds, std::int16_t* ibsta,
                                               std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    return onDevice(ud, status, [&](CBusDevice& device) {
        if (seconds >= 0) device.timeoutMs = std::int32_t{seconds} * 1000;
        status.set(0, 0);
    });
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibsre(std::int16_t ud, std::int16_t flag, std::int16_t* ibsta,
                                               std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    return onDevice(ud, status, [&](CBusDevice& device) {
        device.SetRemoteEnable(flag == 1);
        status.set(0, 0);
    });
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibclr(std::int16_t ud, std::int16_t* ibsta, std::int16_t* iberr,
                                               std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    return onDevice(ud, status, [&](CBusDevice& device) {
        device.DeviceClear();
        status.set(kStatusCmpl, 0);
    });
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibloc(std::int16_t ud, std::int16_t* ibsta, std::int16_t* iberr,
                                               std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    return onDevice(ud, status, [&](CBusDevice& device) {
        device.GoToLocal();
        status.set(0, 0);
    });
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibeot(std::int16_t ud, std::int16_t flag, std::int16_t* ibsta,
                                               std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    return onDevice(ud, status, [&](CBusDevice& device) {
        device.eotEnabled = flag == 1;
        status.set(0, 0);
    });
}

QZIB32_API std::int16_t QZIB32_CALL QZDLLibonl(std::int16_t ud, std::int16_t flag, std::int16_t* ibsta,
                                               std::int16_t* iberr, std::int32_t* ibcntl) {
    Status status(ibsta, iberr, ibcntl);
    status.count(0);
    return onDevice(ud, status, [&](CBusDevice& device) {
        if (flag == 0) BusLibrary::Instance().Close(device);
        status.set(0, 0);
    });
}

QZIB32_API void QZIB32_CALL QZDLLSwapBytes(void* buffer, std::uint32_t elementSize,
                                           std::uint32_t elementCount) {
    (void)buffer;
    (void)elementSize;
    (void)elementCount;
}

}  // extern "C"
