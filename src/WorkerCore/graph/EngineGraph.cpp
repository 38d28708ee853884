#include "graph/EngineGraph.h"

#include "config/KeychainTokenStore.h"
#include "graph/StartupError.h"
#include "platform/XdgPaths.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString makeDirectory(const QString& path, const char* what) {
    if (!QDir().mkpath(path)) {
        throw StartupError(
            QStringLiteral("cannot create the %1 %2").arg(QLatin1String(what), path));
    }
    return QDir(path).absolutePath();
}

} // namespace

EngineGraph::~EngineGraph() = default;

void EngineGraph::prepareScratchRoot(const QString& path, bool isDefault) {
    if (!isDefault) {
        makeDirectory(path, "scratch folder");
        return;
    }
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        throw StartupError(QStringLiteral("cannot create the scratch folder %1: %2")
                               .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) {
        throw StartupError(QStringLiteral("cannot inspect the scratch folder %1: %2")
                               .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
        throw StartupError(
            QStringLiteral(
                "the scratch folder %1 is not a plain folder (a symbolic link or a file)")
                .arg(path));
    }
    if (info.st_uid != ::getuid()) {
        throw StartupError(
            QStringLiteral("the scratch folder %1 belongs to another user").arg(path));
    }
    if ((info.st_mode & 0777) != 0700) {
        ::chmod(native.constData(), 0700);
    }
}

QCoro::Task<QString> EngineGraph::currentToken() {
    if (m_fixedToken) {
        co_return QString(*m_fixedToken); // a copy: QCoro moves from a non-const lvalue
    }
    try {
        const std::optional<QString> token = co_await m_tokenStore->readToken();
        co_return token.value_or(QString());
    } catch (...) {
        // An unreadable keyring counts as no token; the server then says 401.
        co_return QString();
    }
}

QCoro::Task<std::unique_ptr<EngineGraph>> EngineGraph::bootstrap(Options options) {
    std::unique_ptr<EngineGraph> graph(new EngineGraph());
    EngineGraph& g = *graph;

    // Settings: load, then write straight back so a new worker id is kept.
    const QString settingsFile =
        options.settingsFile.isEmpty() ? XdgPaths::settingsFile() : options.settingsFile;
    g.m_preferences = std::make_unique<QSettings>(settingsFile, QSettings::NativeFormat);
    g.m_settingsStore = std::make_unique<UserDefaultsSettingsStore>(*g.m_preferences);
    g.settings = g.m_settingsStore->load();
    // An unwritable preferences file does not stop the worker; it is logged
    // below, once the log exists.
    QString unsavedSettings;
    try {
        g.m_settingsStore->save(g.settings);
    } catch (const WorkerError& error) {
        unsavedSettings = error.description();
    }
    if (options.overrideSettings) {
        options.overrideSettings(g.settings);
    }

    g.m_fixedToken = options.fixedToken;
    g.m_tokenStore = options.tokenService.isEmpty()
                         ? std::make_unique<KeychainTokenStore>()
                         : std::make_unique<KeychainTokenStore>(options.tokenService);
    g.initialToken = co_await g.currentToken();

    g.dataDirectory = makeDirectory(options.dataDirectory.isEmpty() ? XdgPaths::dataDirectory()
                                                                    : options.dataDirectory,
                                    "data folder");
    g.logDirectory = makeDirectory(options.logDirectory.isEmpty() ? XdgPaths::logDirectory()
                                                                  : options.logDirectory,
                                   "log folder");

    g.m_logStore =
        std::make_unique<LogStore>(g.logDirectory, options.logCapacity, options.logRetentionDays);
    if (!unsavedSettings.isEmpty()) {
        g.m_logStore->log(LogEvent::Level::warn, QStringLiteral("settings"),
                          QStringLiteral("Settings not saved: ") + unsavedSettings);
    }
    g.m_history =
        std::make_unique<JobHistoryStore>(g.dataDirectory + QStringLiteral("/history.sqlite"));
    g.m_activeJobs = std::make_unique<ActiveJobsBroadcaster>();
    g.m_session = std::make_unique<QNetworkAccessManager>();
    EngineGraph* self = graph.get();
    g.m_api = std::make_unique<APIClient>(
        g.settings.serverURL, [self]() { return self->currentToken(); }, g.m_session.get());

    g.scratchRoot = g.settings.effectiveScratchDirectory();
    prepareScratchRoot(g.scratchRoot, !g.settings.scratchDirectory.has_value());

    const QString ffmpeg = options.ffmpegPath.isEmpty()
                               ? XdgPaths::bundledOrSystemTool(QStringLiteral("ffmpeg"))
                               : options.ffmpegPath;
    const QString ffprobe = options.ffprobePath.isEmpty()
                                ? XdgPaths::bundledOrSystemTool(QStringLiteral("ffprobe"))
                                : options.ffprobePath;
    for (const auto& [name, path] : {std::pair{"ffmpeg", ffmpeg}, std::pair{"ffprobe", ffprobe}}) {
        const QFileInfo info(path);
        if (path.isEmpty() || !info.isFile() || !info.isExecutable()) {
            throw StartupError(
                path.isEmpty() ? QStringLiteral("%1 not found (install Debian's ffmpeg package)")
                                     .arg(QLatin1String(name))
                               : QStringLiteral("%1 is not an executable file: %2")
                                     .arg(QLatin1String(name), path));
        }
    }
    g.m_ffmpeg = std::make_unique<FFmpegRunner>(ffmpeg, ffprobe);
    g.m_deps = std::make_unique<AppDeps>(*g.m_api, *g.m_ffmpeg, *g.m_history, *g.m_logStore,
                                         g.scratchRoot, *g.m_activeJobs);
    g.m_coordinator = std::make_unique<JobCoordinator>(*g.m_deps, g.settings);

    // Housekeeping: old day files at start and at each UTC day change, and
    // the history trimmed to the newest finished jobs once per start.
    g.m_history->pruneHistory(options.historyKept);
    co_await g.m_logStore->pruneOldLogs();
    g.scheduleDailyPrune();
    co_return graph;
}

void EngineGraph::scheduleDailyPrune() {
    if (!m_pruneTimer.isSingleShot()) {
        // Connected once; a lambda cannot be a unique connection.
        m_pruneTimer.setSingleShot(true);
        m_pruneTimer.setTimerType(Qt::VeryCoarseTimer);
        QObject::connect(&m_pruneTimer, &QTimer::timeout, m_logStore.get(), [this] {
            m_logStore->pruneOldLogs();
            scheduleDailyPrune();
        });
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime nextMidnight(now.date().addDays(1), QTime(0, 0, 5), Qt::UTC);
    m_pruneTimer.start(std::chrono::milliseconds(now.msecsTo(nextMidnight)));
}
