#include "onboarding/APIClientClaimer.h"

#include "engine/JobCoordinator.h"

#include <QUuid>

APIClientClaimer::APIClientClaimer(QNetworkAccessManager* session, APIClient::Options options)
    : m_session(session)
    , m_options(options) {}

QCoro::Task<ClaimedJob> APIClientClaimer::claim(QUrl serverURL, QString token) {
    const APIClient client(std::move(serverURL), std::move(token), m_session, m_options);
    const QString platform = workerPlatform();
    co_return co_await client.claimJob(QUuid::createUuid(), QStringLiteral("connection-test"),
                                       platform);
}

QString APIClientClaimer::workerPlatform() {
    return JobCoordinator::workerPlatform() + QStringLiteral(" connection-test");
}
