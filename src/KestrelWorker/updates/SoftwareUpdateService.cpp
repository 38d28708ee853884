#include "updates/SoftwareUpdateService.h"

#include "async/WorkerError.h"
#include "updates/UpdateFeed.h"

#include <QCoroSignal>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>

namespace {

constexpr int transferTimeoutMs = 30000;

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

} // namespace

QString SoftwareUpdateService::automaticChecksKey() {
    return QStringLiteral("updates/automaticChecks");
}

QString SoftwareUpdateService::automaticDownloadsKey() {
    return QStringLiteral("updates/automaticDownloads");
}

QString SoftwareUpdateService::lastCheckKey() {
    return QStringLiteral("updates/lastCheck");
}

SoftwareUpdateService::SoftwareUpdateService(QUrl feedURL, QString currentVersion,
                                             QNetworkAccessManager* network, QSettings* settings,
                                             const Clock& clock, Presenter presenter,
                                             QObject* parent)
    : UpdaterServicing(parent)
    , m_currentVersion(std::move(currentVersion))
    , m_network(network)
    , m_settings(settings)
    , m_clock(clock)
    , m_presenter(std::move(presenter)) {
    if (!feedURL.isEmpty() && feedURL.isValid()) {
        m_feedURL = std::move(feedURL);
    }
    m_automaticChecks = m_settings->value(automaticChecksKey(), true).toBool();
    m_automaticDownloads = m_settings->value(automaticDownloadsKey(), false).toBool();
    const QDateTime stored =
        QDateTime::fromString(m_settings->value(lastCheckKey()).toString(), Qt::ISODateWithMs);
    if (stored.isValid()) {
        m_lastCheck = stored.toUTC();
    }

    // A coarse tick rather than one long timer: it survives suspend and clock
    // changes, and a daily check needs no precision.
    m_schedule.setInterval(std::chrono::hours(1));
    connect(&m_schedule, &QTimer::timeout, this, &SoftwareUpdateService::considerAutomaticCheck);
    m_schedule.start();
    QTimer::singleShot(0, this, &SoftwareUpdateService::considerAutomaticCheck);
}

SoftwareUpdateService::~SoftwareUpdateService() {
    *m_alive = false;
    for (const QPointer<QNetworkReply>& reply : std::exchange(m_replies, {})) {
        if (reply) {
            reply->abort();
        }
    }
}

bool SoftwareUpdateService::canCheckForUpdates() const {
    return m_feedURL.has_value() && m_checksRunning == 0;
}

std::optional<QDateTime> SoftwareUpdateService::lastUpdateCheckDate() const {
    return m_lastCheck;
}

std::optional<QUrl> SoftwareUpdateService::feedURL() const {
    return m_feedURL;
}

void SoftwareUpdateService::setAutomaticChecksEnabled(bool enabled) {
    if (enabled == m_automaticChecks) {
        return;
    }
    m_automaticChecks = enabled;
    m_settings->setValue(automaticChecksKey(), enabled);
    m_settings->sync();
    Q_EMIT changed();
    if (enabled) {
        QTimer::singleShot(0, this, &SoftwareUpdateService::considerAutomaticCheck);
    }
}

void SoftwareUpdateService::setAutomaticDownloadsEnabled(bool enabled) {
    if (enabled == m_automaticDownloads) {
        return;
    }
    m_automaticDownloads = enabled;
    m_settings->setValue(automaticDownloadsKey(), enabled);
    m_settings->sync();
    Q_EMIT changed();
}

void SoftwareUpdateService::checkForUpdates() {
    if (canCheckForUpdates()) {
        runCheck(true);
    }
}

QString SoftwareUpdateService::displayName() const {
    return QStringLiteral("Kestrel Worker update feed");
}

bool SoftwareUpdateService::automaticCheckDue() const {
    if (!m_automaticChecks || !canCheckForUpdates()) {
        return false;
    }
    if (!m_lastCheck) {
        return true;
    }
    const qint64 elapsedMs = m_lastCheck->msecsTo(m_clock.currentDate());
    return elapsedMs < 0 || elapsedMs >= std::chrono::milliseconds(automaticCheckInterval).count();
}

void SoftwareUpdateService::considerAutomaticCheck() {
    if (automaticCheckDue()) {
        runCheck(false);
    }
}

QCoro::Task<void> SoftwareUpdateService::runCheck(bool userInitiated) {
    try {
        const auto alive = m_alive;
        const UpdateCheckResult result = co_await check();
        if (!*alive) {
            co_return;
        }
        // Unasked, only news is worth a window.
        if (m_presenter &&
            (userInitiated || result.kind() == UpdateCheckResult::Kind::updateAvailable)) {
            m_presenter(result);
        }
    } catch (...) {
    }
}

QCoro::Task<UpdateCheckResult> SoftwareUpdateService::check() {
    if (!m_feedURL) {
        co_return UpdateCheckResult::failed(QStringLiteral("No update feed is configured."));
    }
    const auto alive = m_alive;
    ++m_checksRunning;
    Q_EMIT changed();

    UpdateCheckResult result = UpdateCheckResult::failed(QString());
    try {
        result = co_await fetchAndCompare(*m_feedURL);
    } catch (...) {
        result = UpdateCheckResult::failed(describeCurrentException());
    }
    if (!*alive) {
        co_return result;
    }

    --m_checksRunning;
    m_lastCheck = m_clock.currentDate().toUTC();
    m_settings->setValue(lastCheckKey(), m_lastCheck->toString(Qt::ISODateWithMs));
    m_settings->sync();
    Q_EMIT changed();
    co_return result;
}

QCoro::Task<UpdateCheckResult> SoftwareUpdateService::fetchAndCompare(QUrl feed) {
    const std::optional<VersionNumber> current = VersionNumber::parse(m_currentVersion);
    if (!current) {
        co_return UpdateCheckResult::failed(
            QStringLiteral("The running version \"%1\" cannot be compared.").arg(m_currentVersion));
    }

    QNetworkRequest request(feed);
    request.setTransferTimeout(transferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("KestrelWorker/") + m_currentVersion);
    const std::unique_ptr<QNetworkReply, DeleteLater> reply(m_network->get(request));
    m_replies.append(QPointer<QNetworkReply>(reply.get()));
    const auto alive = m_alive;
    if (!reply->isFinished()) {
        co_await qCoro(reply.get(), &QNetworkReply::finished);
    }
    if (!*alive) {
        co_return UpdateCheckResult::failed(QStringLiteral("cancelled"));
    }
    m_replies.removeAll(QPointer<QNetworkReply>(reply.get()));

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        co_return UpdateCheckResult::failed(
            QStringLiteral("The update feed could not be loaded (HTTP %1).").arg(status.toInt()));
    }
    if (reply->error() != QNetworkReply::NoError) {
        // Only the transfer limit aborts a reply while the service lives.
        const QString text = reply->error() == QNetworkReply::OperationCanceledError
                                 ? QStringLiteral("the request timed out")
                                 : reply->errorString();
        co_return UpdateCheckResult::failed(
            QStringLiteral("The update server could not be reached: %1.").arg(text));
    }

    const UpdateFeed parsed = UpdateFeed::parse(reply->readAll(), reply->url());
    const std::optional<UpdateFeed::Item> newest = parsed.newest();
    if (newest && newest->version > *current) {
        co_return UpdateCheckResult::updateAvailable(newest->version.toString(),
                                                     newest->downloadURL);
    }
    co_return UpdateCheckResult::upToDate(m_currentVersion);
}
