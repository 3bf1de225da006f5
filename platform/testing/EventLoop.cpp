#include "platform/testing/EventLoop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include <algorithm>

namespace platform::testing {

QCoreApplication& App() {
    if (auto* app = QCoreApplication::instance()) return *app;
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    App();
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

void RunFor(int ms) {
    App();
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(
            QEventLoop::WaitForMoreEvents,
            static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
}

} // namespace platform::testing
