#include "channels/CSocketCommunicationChannelFactory.h"

#include <cstdio>
#include <mutex>

#include "channels/DebugOutput.h"
#include "channels/ErrorNumberFailure.h"
#include "platform/SocketApi.h"

namespace qzib {
namespace {

// Counted, not a flag: a server factory that goes away must not stop the socket layer
// under the library's client factory.
std::mutex g_startLock;
int g_factories = 0;

}  // namespace

CSocketCommunicationChannelFactory::CSocketCommunicationChannelFactory() {
    std::lock_guard<std::mutex> lock(g_startLock);
    if (g_factories == 0) {
        int result = socketapi::start();
        if (result != 0) throw ErrorNumberFailure(result);
    }
    ++g_factories;
}

CSocketCommunicationChannelFactory::~CSocketCommunicationChannelFactory() {
    std::lock_guard<std::mutex> lock(g_startLock);
    if (g_factories > 0 && --g_factories == 0) {
        int result = socketapi::stop();
        if (result == -1) {
            char line[128];
            std::snprintf(line, sizeof line,
                          "CSocketCommunicationChannelFactory: Error closing Winsock - error = %d\n", result);
            debugOutput(line);
        }
    }
}

}  // namespace qzib
