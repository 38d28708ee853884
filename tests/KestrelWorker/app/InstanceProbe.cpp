// Holds the single-instance lock and reports raise messages, or, when the lock
// is taken, sends one the way a second copy of the agent does.
#include "app/RaiseChannel.h"
#include "platform/SingleInstanceLock.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kw_instance_probe LOCKFILE\n");
        return 2;
    }
    RaiseChannel raise;
    if (!SingleInstanceLock::tryAcquire(QString::fromLocal8Bit(argv[1]))) {
        std::printf("second %s\n", raise.post() ? "posted" : "no-bus");
        return 3;
    }
    QObject::connect(&raise, &RaiseChannel::raiseRequested, [] {
        std::printf("raised\n");
        std::fflush(stdout);
    });
    std::printf("holder %s\n", raise.observe() ? "observing" : "no-bus");
    std::fflush(stdout);
    return app.exec();
}
