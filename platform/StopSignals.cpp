#include "platform/StopSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

int gPipe[2] = {-1, -1};
std::function<void(int)> gOnStop;

extern "C" void HandOver(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const auto n = ::write(gPipe[1], &b, 1);
    errno = saved;
}

} // namespace

bool InstallStopSignals(std::function<void(int)> onStop) {
    gOnStop = std::move(onStop);
    if (gPipe[0] >= 0) return true;
    if (::pipe2(gPipe, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    auto* notifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        unsigned char b = 0;
        int sig = 0;
        while (::read(gPipe[0], &b, 1) == 1)
            if (!sig) sig = b;
        if (sig && gOnStop) gOnStop(sig);
    });
    struct sigaction sa = {};
    sa.sa_handler = HandOver;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    return true;
}

} // namespace platform
