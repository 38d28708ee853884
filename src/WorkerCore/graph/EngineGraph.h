#pragma once

#include "api/APIClient.h"
#include "config/Settings.h"
#include "config/TokenStoring.h"
#include "config/UserDefaultsSettingsStore.h"
#include "engine/ActiveJobsBroadcaster.h"
#include "engine/JobCoordinator.h"
#include "graph/AppDeps.h"
#include "logging/LogStore.h"
#include "media/FFmpegRunner.h"
#include "records/JobHistoryStore.h"

#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

// The engine's object graph, built once at start and shared by both front
// ends; each adds its own parts on top. Owns every long-lived object.
class EngineGraph {
public:
    struct Options {
        QString settingsFile;  // empty: the XDG location
        QString dataDirectory; // empty: the XDG location
        QString logDirectory;  // empty: the XDG location
        // Applied to the loaded (and saved) settings for this run only.
        std::function<void(Settings&)> overrideSettings;
        // A token given from outside (file, environment); none: the keyring.
        std::optional<QString> fixedToken;
        QString tokenService; // empty: the agent's own keyring service
        QString ffmpegPath;   // empty: bundled copy, else PATH
        QString ffprobePath;  // empty: bundled copy, else PATH
        qsizetype logCapacity = 1000;
        int logRetentionDays = 14;
        qint64 historyKept = 10000;
    };

    // Throws StartupError (or the failing part's own error) on the first
    // step that fails; nothing is started.
    static QCoro::Task<std::unique_ptr<EngineGraph>> bootstrap(Options options);

    ~EngineGraph();

    Settings settings;
    QString initialToken; // as read at start; empty when none
    QString dataDirectory;
    QString logDirectory;
    QString scratchRoot;

    QSettings& preferences() { return *m_preferences; }
    UserDefaultsSettingsStore& settingsStore() { return *m_settingsStore; }
    TokenStoring& tokenStore() { return *m_tokenStore; }
    LogStore& logStore() { return *m_logStore; }
    JobHistoryStore& history() { return *m_history; }
    ActiveJobsBroadcaster& activeJobs() { return *m_activeJobs; }
    APIClient& api() { return *m_api; }
    QNetworkAccessManager& network() { return *m_session; }
    FFmpegRunner& ffmpeg() { return *m_ffmpeg; }
    JobCoordinator& coordinator() { return *m_coordinator; }

    // The token provider: the fixed token, else the keyring's, "" on failure.
    QCoro::Task<QString> currentToken();

    // Creates the scratch root. The shared default under the temporary
    // directory must be a real folder of this user (never a symlink another
    // user could have planted), mode 0700.
    static void prepareScratchRoot(const QString& path, bool isDefault);

private:
    EngineGraph() = default;
    void scheduleDailyPrune();

    std::optional<QString> m_fixedToken;
    std::unique_ptr<QSettings> m_preferences;
    std::unique_ptr<UserDefaultsSettingsStore> m_settingsStore;
    std::unique_ptr<TokenStoring> m_tokenStore;
    std::unique_ptr<LogStore> m_logStore;
    std::unique_ptr<JobHistoryStore> m_history;
    std::unique_ptr<ActiveJobsBroadcaster> m_activeJobs;
    std::unique_ptr<QNetworkAccessManager> m_session;
    std::unique_ptr<APIClient> m_api;
    std::unique_ptr<FFmpegRunner> m_ffmpeg;
    std::unique_ptr<AppDeps> m_deps;
    std::unique_ptr<JobCoordinator> m_coordinator;
    QTimer m_pruneTimer;
};
