#include "app/KestrelWorkerApp.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrel Worker"));
    QApplication::setApplicationVersion(QStringLiteral(KW_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("com.talmark.KestrelWorker"));
    // The agent lives in the tray: closing its windows never ends it.
    QApplication::setQuitOnLastWindowClosed(false);

    KestrelWorkerApp worker;
    auto launch = [&worker]() -> QCoro::Task<void> {
        std::optional<int> status = 1;
        try {
            status = co_await worker.launch();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "Failed to start: %s\n", error.what());
        }
        if (status) {
            QCoreApplication::exit(*status);
        }
    };
    QTimer::singleShot(0, &app, [&] { launch(); });
    return app.exec();
}
