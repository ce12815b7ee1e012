#include "channels/CSocketCommunicationChannelBase.h"

#include <algorithm>

#include "channels/DebugOutput.h"
#include "channels/ErrorNumberFailure.h"

namespace qzib {

bool CSocketCommunicationChannelBase::ReadDataBlocking(void* buffer, std::uint32_t count,
                                                       std::uint32_t& received) {
    auto* target = static_cast<unsigned char*>(buffer);
    received = 0;
    while (count > 0) {
        int error = 0;
        long n = ReceiveData(target + received, count, error);
        if (n == 0) return false;
        if (n < 0) {
            if (error == socketapi::kWouldBlock) {
                if (socketapi::waitFor(GetDataSocket(), socketapi::Direction::Read, -1, error) !=
                    socketapi::WaitResult::Failed)
                    continue;
            }
            ReportSocketError("Cm_DataSocketetCommunicationChannel: Error reading from m_DataSocketet",
                              error);
            if (error == socketapi::kConnectionReset) return false;
            throw ErrorNumberFailure(error);
        }
        received += static_cast<std::uint32_t>(n);
        count -= static_cast<std::uint32_t>(n);
    }
    return true;
}

bool CSocketCommunicationChannelBase::Discard(std::uint32_t count, std::uint32_t timeoutMs) {
    std::uint32_t dropped = 0;
    return Discard(count, timeoutMs, dropped);
}

bool CSocketCommunicationChannelBase::Discard(std::uint32_t count, std::uint32_t timeoutMs,
                                              std::uint32_t& dropped) {
    unsigned char scratch[1024];
    dropped = 0;
    while (count > 0) {
        std::uint32_t chunk = std::min<std::uint32_t>(count, sizeof scratch);
        std::uint32_t received = 0;
        bool ok = timeoutMs != 0 ? ReadData(scratch, chunk, received, timeoutMs)
                                 : ReadDataBlocking(scratch, chunk, received);
        dropped += received;
        if (!ok) return false;
        count -= received;
    }
    return true;
}

long CSocketCommunicationChannelBase::ReceiveData(void* buffer, std::size_t count, int& error) {
    return socketapi::receiveSome(GetDataSocket(), buffer, count, error);
}

bool CSocketCommunicationChannelBase::SetNoDelay(bool on) {
    for (SocketHandle s : {GetDataSocket(), GetControlSocket()}) {
        if (!socketapi::setNoDelay(s, on)) {
            ReportSocketError("CSocketCommunicationChannelBase::SetNoDelay(): error changing socket option");
            return false;
        }
    }
    return true;
}

}  // namespace qzib
