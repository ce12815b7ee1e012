// analyzer-sim: serves a simulated spectrum analyzer until SIGINT or SIGTERM.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include <marlin/product.h>

#include "CommandLine.h"
#include "WakePipe.h"
#include "analyzer_sim/Simulator.h"

namespace {

marlin::sim::WakePipe* gSignalPipe = nullptr;

void onSignal(int) {
    gSignalPipe->signal();
}

}  // namespace

int main(int argc, char** argv) {
    using marlin::sim::CommandLine;
    const CommandLine::Result line = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!line.error.empty()) {
        std::cerr << line.error << '\n';
        return 2;
    }
    if (line.help) {
        std::cout << CommandLine::helpText();
        return 0;
    }
    if (line.version) {
        std::cout << "analyzer-sim (" MARLIN_PRODUCT_NAME ") " MARLIN_VERSION_TEXT "\n";
        return 0;
    }

    // Signals only wake the main thread through the pipe; everything else happens here.
    marlin::sim::WakePipe signalPipe;
    gSignalPipe = &signalPipe;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    marlin::sim::Simulator simulator(line.options);
    try {
        simulator.start();
    } catch (const std::system_error& e) {
        std::cerr << "analyzer-sim: " << e.what()
                  << "\nIs another simulator running there? Choose another address with --bind or port with "
                     "--port.\n";
        return 1;
    }
    std::cerr << "analyzer-sim: listening on " << simulator.bindAddress() << ":" << simulator.port()
              << " (Ctrl-C stops)\n";

    pollfd p{signalPipe.fd(), POLLIN, 0};
    while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    std::cerr << "analyzer-sim: stopping\n";
    simulator.stop();
    gSignalPipe = nullptr;
    return 0;
}
