#pragma once

#include "api/APIClient.h"
#include "onboarding/ConnectionTester.h"

class QNetworkAccessManager;

// The connection test's claim: a fresh API client for the typed URL and token,
// and one real claim under a random worker ID named "connection-test". A job the
// server hands out in reply is claimed under that ID and never processed.
class APIClientClaimer : public ConnectionTester::Claiming {
public:
    // `session` is the application's shared HTTP transport; it must outlive every claim.
    explicit APIClientClaimer(QNetworkAccessManager* session, APIClient::Options options = {});

    QCoro::Task<ClaimedJob> claim(QUrl serverURL, QString token) override;

    // The worker platform text the test sends: the engine's, plus " connection-test".
    static QString workerPlatform();

private:
    QNetworkAccessManager* m_session;
    APIClient::Options m_options;
};
