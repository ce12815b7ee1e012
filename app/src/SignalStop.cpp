#include "SignalStop.h"

#ifndef _WIN32
#include <QSocketNotifier>

#include "marlin/base/SignalPipe.h"
#endif

namespace marlin {

#ifdef _WIN32
class SignalPipe {};

SignalStop::SignalStop(std::function<void()> end, QObject* parent) : QObject(parent), end_(std::move(end)) {}
#else
SignalStop::SignalStop(std::function<void()> end, QObject* parent)
    : QObject(parent), end_(std::move(end)), pipe_(std::make_unique<SignalPipe>()) {
    if (pipe_->fd() < 0) return;  // no pipe: the signals keep their default action
    auto* notifier = new QSocketNotifier(pipe_->fd(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        if (pipe_->drain() && end_) end_();
    });
}
#endif

SignalStop::~SignalStop() = default;

}  // namespace marlin
