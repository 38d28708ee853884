// Transfer throughput of the API client against curl, over loopback, in the
// same run and against the same server process. Prints `name: value` lines.
#include "api/APIClient.h"

#include <QCoreApplication>
#include <QCoroProcess>
#include <QCoroSignal>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

qint64 statusKiB(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

void resetPeakRss() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
    }
}

QCoro::Task<double> timedCurl(QStringList arguments) {
    QProcess curl;
    curl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    curl.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"), arguments);
    co_await qCoro(&curl, &QProcess::finished);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed: %d\n", curl.exitCode());
        std::exit(1);
    }
    co_return seconds;
}

QCoro::Task<int> runBench() {
    const qint64 mib = qEnvironmentVariableIntValue("KW_BENCH_TRANSFER_MIB") > 0
                           ? qEnvironmentVariableIntValue("KW_BENCH_TRANSFER_MIB")
                           : 1024;
    QTemporaryDir temp;
    const QString source = temp.filePath(QStringLiteral("source.bin"));
    {
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < block.size(); ++i) {
            block[i] = char(i * 31 + 7);
        }
        for (qint64 i = 0; i < mib; ++i) {
            file.write(block);
        }
    }
    const qint64 bytes = mib << 20;

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral(KW_TRANSFER_SERVER), {source});
    co_await qCoro(&server, &QProcess::readyReadStandardOutput);
    const int port = server.readLine().trimmed().toInt();
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QString downloadURL = base + QStringLiteral("/api/workers/jobs/bench/download/");
    const QString uploadURL = base + QStringLiteral("/api/workers/jobs/bench/upload/");

    QNetworkAccessManager session;
    APIClient client(QUrl(base), QStringLiteral("bench-token"), &session);

    // Warm the page cache and the connection paths once, unmeasured.
    co_await client.downloadSource(QStringLiteral("bench"), temp.filePath("warm.bin"));
    QFile::remove(temp.filePath("warm.bin"));

    double clientDown = 1e9, curlDown = 1e9, clientUp = 1e9, curlUp = 1e9;
    qint64 peakAboveIdleKiB = 0;
    for (int round = 0; round < 2; ++round) {
        QElapsedTimer timer;
        timer.start();
        co_await client.downloadSource(QStringLiteral("bench"), temp.filePath("client.bin"));
        clientDown = std::min(clientDown, double(timer.nsecsElapsed()) / 1e9);
        QFile::remove(temp.filePath("client.bin"));

        const QStringList downloadArgs{"-s",       "-f",
                                       "-o",       temp.filePath("curl.bin"),
                                       "-H",       "Authorization: Worker bench-token",
                                       downloadURL};
        curlDown = std::min(curlDown, co_await timedCurl(downloadArgs));
        QFile::remove(temp.filePath("curl.bin"));

        resetPeakRss();
        const qint64 idleKiB = statusKiB("VmRSS:");
        timer.restart();
        const UploadResult result = co_await client.uploadOutput(QStringLiteral("bench"), source);
        clientUp = std::min(clientUp, double(timer.nsecsElapsed()) / 1e9);
        peakAboveIdleKiB = std::max(peakAboveIdleKiB, statusKiB("VmHWM:") - idleKiB);
        if (result.fileSize < bytes) {
            std::fprintf(stderr, "server saw %lld bytes\n", (long long)result.fileSize);
        }

        const QStringList uploadArgs{"-s",     "-f",
                                     "-H",     "Authorization: Worker bench-token",
                                     "-F",     QStringLiteral("file_size=%1").arg(bytes),
                                     "-F",     "file=@" + source,
                                     uploadURL};
        curlUp = std::min(curlUp, co_await timedCurl(uploadArgs));
    }
    server.kill();
    server.waitForFinished(1000);

    std::printf("transfer.download.client_mib_per_s: %.1f\n", double(mib) / clientDown);
    std::printf("transfer.download.curl_mib_per_s: %.1f\n", double(mib) / curlDown);
    std::printf("transfer.download.ratio: %.3f\n", curlDown / clientDown);
    std::printf("transfer.upload.client_mib_per_s: %.1f\n", double(mib) / clientUp);
    std::printf("transfer.upload.curl_mib_per_s: %.1f\n", double(mib) / curlUp);
    std::printf("transfer.upload.ratio: %.3f\n", curlUp / clientUp);
    std::printf("transfer.upload.peak_rss_mib_above_idle: %.1f\n",
                double(peakAboveIdleKiB) / 1024.0);
    std::fflush(stdout);
    co_return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int status = 1;
    auto run = [&]() -> QCoro::Task<void> {
        try {
            status = co_await runBench();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "transfer bench failed: %s\n", error.what());
        }
        QCoreApplication::exit(status);
    };
    QTimer::singleShot(0, [&] { run(); });
    return app.exec() == 0 ? status : 1;
}
