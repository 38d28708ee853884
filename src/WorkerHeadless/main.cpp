#include "HeadlessWorker.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrel-workerd"));
    auto launch = []() -> QCoro::Task<void> {
        int status = 1;
        try {
            status = co_await HeadlessWorker::launch(QCoreApplication::arguments());
        } catch (const std::exception& error) {
            std::fprintf(stderr, "Failed to start: %s\n", error.what());
        }
        if (status >= 0) {
            QCoreApplication::exit(status);
        }
    };
    QTimer::singleShot(0, &app, [&] { launch(); });
    return app.exec();
}
