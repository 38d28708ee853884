#pragma once

#include "api/ClaimedJob.h"
#include "api/UploadResult.h"

#include <QCoroTask>
#include <QNetworkRequest>
#include <QUrl>
#include <QUuid>
#include <chrono>
#include <functional>
#include <memory>
#include <stop_token>

class QIODevice;
class QNetworkAccessManager;

struct APIClientOptions {
    // Idle limit: a request fails when no data has moved for this long.
    std::chrono::milliseconds idleTimeout{std::chrono::seconds(30)};
    int maxRedirects = 16;
};

// Performs the six exchanges of the worker API. Immutable once built, so one
// client serves any number of tasks at once. Every operation takes the
// caller's stop token: a stop aborts the exchange, which then fails as
// `transport`.
class APIClient {
public:
    // Asked once for every request, while the request is built.
    using TokenProvider = std::function<QCoro::Task<QString>()>;

    using Options = APIClientOptions;

    APIClient(QUrl baseURL, TokenProvider tokenProvider, QNetworkAccessManager* session,
              Options options);
    APIClient(QUrl baseURL, TokenProvider tokenProvider, QNetworkAccessManager* session);
    // A fixed token, as the connection test uses.
    APIClient(QUrl baseURL, QString token, QNetworkAccessManager* session, Options options = {});

    const QUrl& baseURL() const { return m_baseURL; }
    // Requests built from now on go to `baseURL`; those already sent are untouched.
    void setBaseURL(QUrl baseURL) { m_baseURL = std::move(baseURL); }

    QCoro::Task<ClaimedJob> claimJob(QUuid workerID, QString workerName, QString workerPlatform,
                                     std::stop_token stop = {}) const;
    QCoro::Task<void> downloadSource(QString jobID, QString destinationPath,
                                     std::stop_token stop = {}) const;
    QCoro::Task<void> reportProgress(QString jobID, int progress, QString status,
                                     std::stop_token stop = {}) const;
    QCoro::Task<UploadResult> uploadOutput(QString jobID, QString filePath,
                                           std::stop_token stop = {}) const;
    QCoro::Task<void> completeJob(QString jobID, QString outputS3Key, qint64 outputFileSize,
                                  qint64 conversionDurationSeconds,
                                  std::stop_token stop = {}) const;
    QCoro::Task<void> failJob(QString jobID, QString errorMessage, std::stop_token stop = {}) const;

    struct Request {
        QNetworkRequest request;
        QByteArray method;
    };
    // The endpoint URL under the base URL, the idle limit and the two headers.
    QCoro::Task<Request> makeRequest(QString path, QByteArray method) const;
    QUrl endpointURL(const QString& path) const;
    // "/api/workers/jobs/" + the id as one percent-encoded segment + "/" + action + "/".
    // Throws InvalidJobIDError for ids no path can carry safely.
    static QString jobPath(const QString& jobID, const QString& action);

    // Status classification; throws the matching APIError for anything but 2xx.
    static void validate(int statusCode, const QByteArray& body);

    struct Response;
    using BodyFactory = std::function<std::unique_ptr<QIODevice>()>;

private:
    QCoro::Task<Response> send(Request request, BodyFactory body, QString downloadPath,
                               std::stop_token stop) const;
    QCoro::Task<void> postJSON(QString path, QByteArray json, std::stop_token stop) const;

    QUrl m_baseURL;
    TokenProvider m_tokenProvider;
    QNetworkAccessManager* m_session;
    Options m_options;
};
