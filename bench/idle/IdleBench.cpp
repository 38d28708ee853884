// Idle cost of kestrel-workerd: CPU time and resident memory of the worker
// process itself, first while it polls an empty queue every 10 s, then while
// all its slots hold long jobs and the poll loop only re-checks for a free one.
// CPU is utime+stime from the worker's own /proc/<pid>/stat, so its ffmpeg
// children are not counted. Prints `name: value` lines on stdout; the rest on
// stderr. Runs blocking, without an event loop: the children write to files.
//
// Shorter windows for a quick check, in seconds:
//   KW_BENCH_IDLE_SECONDS  the empty-queue window (default 60)
//   KW_BENCH_FULL_SECONDS  the at-capacity window (default 60)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

const QString kToken = QStringLiteral("bench-token");
constexpr int kSlots = 2;
constexpr int kPollSeconds = 10;

[[noreturn]] void fail(const QString& message) {
    throw std::runtime_error(message.toStdString());
}

int secondsFromEnvironment(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void sleepSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

struct ProcessSample {
    char state = '?';
    qint64 parent = 0;
    double cpuSeconds = 0; // utime + stime of the process alone
};

std::optional<ProcessSample> sampleProcess(qint64 pid) {
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    // The command name may hold spaces and parentheses; the fields follow the last ')'.
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0) {
        return std::nullopt;
    }
    // fields[0] is field 3 (state), so utime and stime (fields 14, 15) are 11 and 12.
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    if (fields.size() < 13 || fields[0].isEmpty()) {
        return std::nullopt;
    }
    static const double ticksPerSecond = double(::sysconf(_SC_CLK_TCK));
    ProcessSample sample;
    sample.state = fields[0][0];
    sample.parent = fields[1].toLongLong();
    sample.cpuSeconds = double(fields[11].toLongLong() + fields[12].toLongLong()) / ticksPerSecond;
    return sample;
}

bool isRunning(qint64 pid) {
    const std::optional<ProcessSample> sample = sampleProcess(pid);
    return sample && sample->state != 'Z' && sample->state != 'X';
}

double rssMiB(qint64 pid) {
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return double(line.mid(6).trimmed().split(' ').value(0).toLongLong()) / 1024.0;
        }
    }
    fail(QStringLiteral("no VmRSS for process %1").arg(pid));
}

// The CPU seconds of the direct children of `pid` (the ffmpeg encodes).
double childrenCpuSeconds(qint64 pid) {
    double total = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 other = entry.toLongLong(&numeric);
        if (!numeric) {
            continue;
        }
        const std::optional<ProcessSample> sample = sampleProcess(other);
        if (sample && sample->parent == pid) {
            total += sample->cpuSeconds;
        }
    }
    return total;
}

// Polls `done` every 0.1 s; fails when the process ends or the time runs out.
template <typename Predicate>
void waitFor(const QString& what, const QProcess& process, int timeoutSeconds, Predicate done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (!isRunning(process.processId())) {
            fail(QStringLiteral("%1 exited while waiting for %2").arg(process.program(), what));
        }
        if (timer.elapsed() > qint64(timeoutSeconds) * 1000) {
            fail(QStringLiteral("timed out waiting for ") + what);
        }
        sleepSeconds(0.1);
    }
}

void runToEnd(const QString& program, const QStringList& arguments) {
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setStandardInputFile(QProcess::nullDevice());
    child.start(program, arguments);
    if (!child.waitForStarted() || !child.waitForFinished(-1) ||
        child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        fail(QStringLiteral("%1 failed: %2 %3")
                 .arg(program, child.errorString(), QString::fromUtf8(child.readAll())));
    }
}

// Starts kestrel-devserver with its output in `dir`; gives its base URL.
QString startServer(QProcess& server, const QString& dir, const QStringList& extra) {
    const QString log = dir + QStringLiteral("/server.log");
    server.setStandardInputFile(QProcess::nullDevice());
    server.setStandardOutputFile(log);
    server.setStandardErrorFile(dir + QStringLiteral("/server.err"));
    server.start(QStringLiteral(KW_DEVSERVER),
                 QStringList{"--port", "0", "--token", kToken, "--output-dir", dir + "/uploads"} +
                     extra);
    if (!server.waitForStarted()) {
        fail(QStringLiteral("cannot start kestrel-devserver: ") + server.errorString());
    }
    QString url;
    waitFor(QStringLiteral("the server's address"), server, 120, [&] {
        const QByteArray text = readFile(log);
        const qsizetype at = text.indexOf("listening on ");
        const qsizetype end = at < 0 ? -1 : text.indexOf('\n', at);
        if (end < 0) {
            return false;
        }
        url = QString::fromUtf8(text.mid(at + 13, end - at - 13).trimmed());
        return true;
    });
    return url;
}

void stopServer(QProcess& server) {
    server.terminate();
    if (!server.waitForFinished(10000)) {
        server.kill();
        fail(QStringLiteral("kestrel-devserver did not stop"));
    }
}

// Starts kestrel-workerd in a home of its own, with its output in `dir`.
void startWorker(QProcess& worker, const QString& home, const QString& dir,
                 const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
    QDir().mkpath(home + QStringLiteral("/tmp"));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) {
        env.remove(QString::fromLatin1(name));
    }
    env.insert(QStringLiteral("KESTREL_WORKER_TOKEN"), kToken);
    // The token comes from the environment; keep the user's keyring out of it.
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=/nonexistent"));
    worker.setProcessEnvironment(env);
    worker.setStandardInputFile(QProcess::nullDevice());
    worker.setStandardOutputFile(dir + QStringLiteral("/worker.out"));
    worker.setStandardErrorFile(dir + QStringLiteral("/worker.err"));
    worker.start(QStringLiteral(KW_WORKERD), arguments);
    if (!worker.waitForStarted()) {
        fail(QStringLiteral("cannot start kestrel-workerd: ") + worker.errorString());
    }
}

// SIGTERM: the worker reports any job in flight failed and exits 0.
void stopWorker(QProcess& worker, const QString& dir) {
    ::kill(pid_t(worker.processId()), SIGTERM);
    if (!worker.waitForFinished(60000)) {
        worker.kill();
        fail(QStringLiteral("kestrel-workerd did not stop on SIGTERM"));
    }
    if (worker.exitStatus() != QProcess::NormalExit || worker.exitCode() != 0) {
        fail(QStringLiteral("kestrel-workerd exited with %1: %2")
                 .arg(worker.exitCode())
                 .arg(QString::fromUtf8(readFile(dir + "/worker.err").right(2000))));
    }
}

struct Window {
    double seconds = 0;
    double cpuSeconds = 0;
    double cpuPercent = 0; // of one core
    double peakRssMiB = 0;
    double childrenCpuSeconds = 0;
};

// Samples the worker over `seconds`: CPU between the ends, VmRSS each second.
Window measure(const QProcess& worker, int seconds) {
    const qint64 pid = worker.processId();
    const std::optional<ProcessSample> first = sampleProcess(pid);
    const double childrenFirst = childrenCpuSeconds(pid);
    QElapsedTimer timer;
    timer.start();
    if (!first) {
        fail(QStringLiteral("cannot read /proc for the worker"));
    }
    Window window;
    window.peakRssMiB = rssMiB(pid);
    while (timer.elapsed() < qint64(seconds) * 1000) {
        sleepSeconds(std::min(1.0, double(qint64(seconds) * 1000 - timer.elapsed()) / 1000.0));
        if (!isRunning(pid)) {
            fail(QStringLiteral("the worker exited during the measured window"));
        }
        window.peakRssMiB = std::max(window.peakRssMiB, rssMiB(pid));
    }
    const std::optional<ProcessSample> last = sampleProcess(pid);
    window.seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!last) {
        fail(QStringLiteral("cannot read /proc for the worker"));
    }
    window.cpuSeconds = last->cpuSeconds - first->cpuSeconds;
    window.cpuPercent = 100.0 * window.cpuSeconds / window.seconds;
    window.childrenCpuSeconds = childrenCpuSeconds(pid) - childrenFirst;
    return window;
}

// The stage of a job's last progress line on the worker's stdout
// ("job <id> <type> <stage> <percent>%").
QByteArray lastStage(const QByteArray& progress, const QByteArray& id) {
    QByteArray stage;
    for (const QByteArray& line : progress.split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 5 && words[0] == "job" && words[1] == id) {
            stage = words[3];
        }
    }
    return stage;
}

Window idlePhase(const QString& home, const QString& dir, int seconds) {
    QProcess server;
    const QString url = startServer(server, dir, {});
    QProcess worker;
    startWorker(worker, home, dir,
                {"--server", url, "--poll-interval", QString::number(kPollSeconds)});
    const QString log = dir + QStringLiteral("/server.log");
    auto claims = [&] { return readFile(log).count("/api/workers/claim-job/ 200"); };
    // Start-up is not idle time: measure from the first answered claim.
    waitFor(QStringLiteral("the first claim"), worker, 60, [&] { return claims() >= 1; });
    const qsizetype before = claims();
    const Window window = measure(worker, seconds);
    const qsizetype polled = claims() - before;
    const qsizetype expected = seconds / kPollSeconds;
    std::fprintf(stderr,
                 "idle: %lld claims in %.1f s, worker CPU %.2f s (/proc counts in %.2f s "
                 "steps), peak VmRSS %.1f MiB\n",
                 static_cast<long long>(polled), window.seconds, window.cpuSeconds,
                 1.0 / double(::sysconf(_SC_CLK_TCK)), window.peakRssMiB);
    if (polled < expected - 1 || polled > expected + 1) {
        fail(QStringLiteral("the worker claimed %1 times in %2 s; polling every %3 s gives %4")
                 .arg(polled)
                 .arg(seconds)
                 .arg(kPollSeconds)
                 .arg(expected));
    }
    stopWorker(worker, dir);
    stopServer(server);
    return window;
}

Window fullPhase(const QString& home, const QString& dir, int seconds) {
    // 25 frames a second of clip, encoded to 4K ProRes far slower than real
    // time on any machine this runs on: the jobs outlast the window.
    const int clipSeconds = std::max(30, seconds);
    const QString jobs = dir + QStringLiteral("/jobs");
    QDir().mkpath(jobs);
    const QString clip = jobs + QStringLiteral("/prores-1.mp4");
    std::fprintf(stderr, "full: generating a %d s clip\n", clipSeconds);
    runToEnd(QStringLiteral("ffmpeg"),
             {"-hide_banner", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
              QStringLiteral("testsrc2=size=640x360:rate=25:duration=%1").arg(clipSeconds), "-c:v",
              "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", clip});
    for (int i = 2; i <= kSlots; ++i) {
        if (!QFile::copy(clip, jobs + QStringLiteral("/prores-%1.mp4").arg(i))) {
            fail(QStringLiteral("cannot copy the clip"));
        }
    }

    QProcess server;
    const QString url = startServer(server, dir, {"--jobs-dir", jobs});
    QProcess worker;
    startWorker(worker, home, dir,
                {"--server", url, "--poll-interval", QString::number(kPollSeconds), "--concurrency",
                 QString::number(kSlots)});
    const QString out = dir + QStringLiteral("/worker.out");
    waitFor(QStringLiteral("every slot encoding"), worker, 300, [&] {
        const QByteArray progress = readFile(out);
        for (int i = 1; i <= kSlots; ++i) {
            if (lastStage(progress, "job-" + QByteArray::number(i)) != "encoding") {
                return false;
            }
        }
        return true;
    });
    const Window window = measure(worker, seconds);
    const QByteArray progress = readFile(out);
    for (int i = 1; i <= kSlots; ++i) {
        const QByteArray id = "job-" + QByteArray::number(i);
        if (lastStage(progress, id) != "encoding") {
            fail(QStringLiteral("%1 left encoding inside the window: the slots were not full "
                                "throughout")
                     .arg(QString::fromLatin1(id)));
        }
    }
    std::fprintf(stderr,
                 "full: %d slots encoding for %.1f s, worker CPU %.2f s; the ffmpeg children "
                 "used %.1f CPU s (not counted); worker peak VmRSS %.1f MiB\n",
                 kSlots, window.seconds, window.cpuSeconds, window.childrenCpuSeconds,
                 window.peakRssMiB);
    stopWorker(worker, dir);
    stopServer(server);
    return window;
}

void runBench() {
    const int idleSeconds = secondsFromEnvironment("KW_BENCH_IDLE_SECONDS", 60);
    const int fullSeconds = secondsFromEnvironment("KW_BENCH_FULL_SECONDS", 60);
    QTemporaryDir temp;
    if (!temp.isValid()) {
        fail(QStringLiteral("cannot create a temporary folder: ") + temp.errorString());
    }
    const QString home = temp.filePath(QStringLiteral("home"));
    const QString idleDir = temp.filePath(QStringLiteral("idle"));
    const QString fullDir = temp.filePath(QStringLiteral("full"));
    for (const QString& path : {home, idleDir, fullDir}) {
        QDir().mkpath(path);
    }
    const Window idle = idlePhase(home, idleDir, idleSeconds);
    const Window full = fullPhase(home, fullDir, fullSeconds);
    std::printf("idle.cpu_percent: %.3f\n", idle.cpuPercent);
    std::printf("idle.rss_mib: %.1f\n", idle.peakRssMiB);
    std::printf("full.cpu_percent: %.3f\n", full.cpuPercent);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        runBench();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "idle bench failed: %s\n", error.what());
        return 1;
    }
    return 0;
}
