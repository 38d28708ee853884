#pragma once

#include "health/Clock.h"
#include "updates/UpdateCheckResult.h"
#include "updates/UpdaterServicing.h"

#include <QCoroTask>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QSettings;

// The agent's own update mechanism: an RSS feed of releases compared with the
// running version. A user-initiated check shows its outcome through the
// presenter; automatic checks run once a day while enabled and show only a
// newer version. The two flags and the last-check date live in the settings
// given. "Automatic downloads" is kept and stored only: there is no installer
// to hand a download to, so an available update is always offered as a link.
class SoftwareUpdateService final : public UpdaterServicing {
    Q_OBJECT

public:
    using Presenter = std::function<void(const UpdateCheckResult&)>;

    static constexpr std::chrono::hours automaticCheckInterval{24};
    static QString automaticChecksKey();    // "updates/automaticChecks"
    static QString automaticDownloadsKey(); // "updates/automaticDownloads"
    static QString lastCheckKey();          // "updates/lastCheck"

    // `feedURL` empty or invalid: updates are off (no feed, no checks).
    // `network`, `settings` and `clock` must outlive the service.
    SoftwareUpdateService(QUrl feedURL, QString currentVersion, QNetworkAccessManager* network,
                          QSettings* settings, const Clock& clock, Presenter presenter,
                          QObject* parent = nullptr);
    ~SoftwareUpdateService() override;

    bool canCheckForUpdates() const override;
    std::optional<QDateTime> lastUpdateCheckDate() const override;
    std::optional<QUrl> feedURL() const override;
    bool automaticChecksEnabled() const override { return m_automaticChecks; }
    void setAutomaticChecksEnabled(bool enabled) override;
    bool automaticDownloadsEnabled() const override { return m_automaticDownloads; }
    void setAutomaticDownloadsEnabled(bool enabled) override;
    void checkForUpdates() override;
    QString displayName() const override;

    // One check against the feed, whatever the flags; never throws. The
    // last-check date is stamped when it ends, whatever the outcome.
    QCoro::Task<UpdateCheckResult> check();

    // Automatic checks are on, a feed is set, no check is running and the last
    // one is a day old (or lies in the future, after the clock went back).
    bool automaticCheckDue() const;

private:
    QCoro::Task<UpdateCheckResult> fetchAndCompare(QUrl feed);
    QCoro::Task<void> runCheck(bool userInitiated);
    void considerAutomaticCheck();

    std::optional<QUrl> m_feedURL;
    QString m_currentVersion;
    QNetworkAccessManager* m_network;
    QSettings* m_settings;
    const Clock& m_clock;
    Presenter m_presenter;
    bool m_automaticChecks;
    bool m_automaticDownloads;
    std::optional<QDateTime> m_lastCheck;
    int m_checksRunning = 0;
    QTimer m_schedule;
    QList<QPointer<QNetworkReply>> m_replies;
    // Cleared on destruction; checks still awaiting the network look at it.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
