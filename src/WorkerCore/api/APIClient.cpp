#include "api/APIClient.h"

#include "api/APIError.h"
#include "api/ClaimRequest.h"
#include "api/CompleteRequest.h"
#include "api/FailRequest.h"
#include "api/InvalidJobIDError.h"
#include "api/MultipartUploadDevice.h"
#include "api/ProgressRequest.h"
#include "api/UuidText.h"
#include "async/FileSystemError.h"

#include <QBuffer>
#include <QCoroSignal>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sys/stat.h>

struct APIClient::Response {
    int statusCode = 0;
    QByteArray body;
};

namespace {

const QByteArray kAuthorization = QByteArrayLiteral("Authorization");

struct ReplyDeleter {
    void operator()(QNetworkReply* reply) const { reply->deleteLater(); }
};
using ReplyPtr = std::unique_ptr<QNetworkReply, ReplyDeleter>;

bool sameOrigin(const QUrl& a, const QUrl& b) {
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(a.scheme() == QLatin1String("https") ? 443 : 80) ==
               b.port(b.scheme() == QLatin1String("https") ? 443 : 80);
}

bool isRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Errors the HTTP layer raises when the exchange itself broke (connection,
// time-out, cancellation, TLS, proxy), as opposed to the codes it derives from
// an HTTP status that did arrive.
bool isTransportFailure(QNetworkReply::NetworkError error) {
    return error != QNetworkReply::NoError && int(error) < 200;
}

QString bodyText(const QByteArray& body) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(body);
    return decoder.hasError() ? QString() : text;
}

QByteArray compactJSON(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

APIClient::BodyFactory bufferBody(QByteArray bytes) {
    return [bytes] {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(bytes);
        buffer->open(QIODevice::ReadOnly);
        return std::unique_ptr<QIODevice>(std::move(buffer));
    };
}

// A request to `target` with the headers of `previous`, except that the worker
// token never leaves the origin it was meant for.
QNetworkRequest copiedRequest(const QNetworkRequest& previous, const QUrl& target,
                              const QUrl& tokenOrigin, bool dropBody) {
    QNetworkRequest next(target);
    for (const QByteArray& name : previous.rawHeaderList()) {
        if (name.compare(kAuthorization, Qt::CaseInsensitive) == 0 &&
            !sameOrigin(target, tokenOrigin)) {
            continue;
        }
        if (dropBody && (name.compare("Content-Type", Qt::CaseInsensitive) == 0 ||
                         name.compare("Content-Length", Qt::CaseInsensitive) == 0)) {
            continue;
        }
        next.setRawHeader(name, previous.rawHeader(name));
    }
    next.setTransferTimeout(previous.transferTimeout());
    next.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                      QNetworkRequest::ManualRedirectPolicy);
    return next;
}

} // namespace

APIClient::APIClient(QUrl baseURL, TokenProvider tokenProvider, QNetworkAccessManager* session,
                     Options options)
    : m_baseURL(std::move(baseURL))
    , m_tokenProvider(std::move(tokenProvider))
    , m_session(session)
    , m_options(options) {}

APIClient::APIClient(QUrl baseURL, TokenProvider tokenProvider, QNetworkAccessManager* session)
    : APIClient(std::move(baseURL), std::move(tokenProvider), session, Options{}) {}

APIClient::APIClient(QUrl baseURL, QString token, QNetworkAccessManager* session, Options options)
    : APIClient(
          std::move(baseURL), [token]() -> QCoro::Task<QString> { co_return token; }, session,
          options) {}

QUrl APIClient::endpointURL(const QString& path) const {
    QUrl url = m_baseURL;
    QString basePath = url.path(QUrl::FullyEncoded);
    // One slash at the seam whether or not the base ends in one.
    while (basePath.endsWith(QLatin1Char('/'))) {
        basePath.chop(1);
    }
    url.setPath(basePath + path, QUrl::StrictMode);
    url.setFragment(QString());
    return url;
}

QString APIClient::jobPath(const QString& jobID, const QString& action) {
    // URL libraries and servers collapse dot segments, and an empty segment
    // names another resource; none of these can be sent as a job id.
    if (jobID.isEmpty() || jobID == QLatin1String(".") || jobID == QLatin1String("..")) {
        throw InvalidJobIDError(jobID);
    }
    const QByteArray segment = QUrl::toPercentEncoding(jobID);
    return QStringLiteral("/api/workers/jobs/") + QString::fromLatin1(segment) + QLatin1Char('/') +
           action + QLatin1Char('/');
}

QCoro::Task<APIClient::Request> APIClient::makeRequest(QString path, QByteArray method) const {
    QNetworkRequest request(endpointURL(path));
    request.setTransferTimeout(int(m_options.idleTimeout.count()));
    // Redirects are followed by `send`, so the token can be kept to its origin.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    const QString token = co_await m_tokenProvider();
    request.setRawHeader(kAuthorization, "Worker " + token.toUtf8());
    request.setRawHeader("Content-Type", "application/json");
    co_return Request{request, method};
}

void APIClient::validate(int statusCode, const QByteArray& body) {
    if (statusCode >= 200 && statusCode <= 299) {
        return;
    }
    if (statusCode == 404) {
        throw APIError::notFound();
    }
    if (statusCode == 401) {
        throw APIError::unauthorized();
    }
    if (statusCode >= 400 && statusCode <= 499) {
        throw APIError::clientError(statusCode, bodyText(body));
    }
    throw APIError::server(statusCode, bodyText(body));
}

QCoro::Task<APIClient::Response> APIClient::send(Request request, BodyFactory bodyFactory,
                                                 QString downloadPath, std::stop_token stop) const {
    const QUrl tokenOrigin = request.request.url();
    QNetworkRequest current = request.request;
    QByteArray method = request.method;
    const bool download = !downloadPath.isEmpty();

    for (int hop = 0;; ++hop) {
        ReplyPtr reply;
        {
            std::unique_ptr<QIODevice> body = bodyFactory ? bodyFactory() : nullptr;
            reply.reset(m_session->sendCustomRequest(current, method, body.get()));
            if (body) {
                body.release()->setParent(reply.get());
            }
        }

        // The body of a successful download goes to a temporary file beside the
        // destination as it arrives; it replaces the destination only once whole.
        std::unique_ptr<QSaveFile> sink;
        std::optional<FileSystemError> sinkError;
        if (download) {
            reply->setReadBufferSize(1 << 20);
            QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(),
                             [&, r = reply.get()] {
                                 const int status =
                                     r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                                 const QByteArray chunk = r->readAll();
                                 if (status < 200 || status > 299 || sinkError) {
                                     return;
                                 }
                                 if (!sink) {
                                     sink = std::make_unique<QSaveFile>(downloadPath);
                                     if (!sink->open(QIODevice::WriteOnly)) {
                                         sinkError.emplace(QStringLiteral("Cannot write"),
                                                           downloadPath, sink->errorString());
                                         r->abort();
                                         return;
                                     }
                                 }
                                 if (sink->write(chunk) != chunk.size()) {
                                     sinkError.emplace(QStringLiteral("Cannot write"), downloadPath,
                                                       sink->errorString());
                                     r->abort();
                                 }
                             });
        }

        auto stopped = std::make_shared<bool>(false);
        {
            // Queued: a stop requested from inside another coroutine must not
            // resume this one re-entrantly.
            std::stop_callback<std::function<void()>> onStop(stop, [stopped, r = reply.get()] {
                QMetaObject::invokeMethod(
                    r,
                    [stopped, r] {
                        *stopped = true;
                        r->abort();
                    },
                    Qt::QueuedConnection);
            });
            if (!reply->isFinished()) {
                co_await qCoro(reply.get(), &QNetworkReply::finished);
            }
        }

        if (sinkError) {
            throw *sinkError;
        }
        const QNetworkReply::NetworkError error = reply->error();
        const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (isTransportFailure(error) ||
            (!statusAttribute.isValid() && error != QNetworkReply::NoError)) {
            QString text = reply->errorString();
            if (error == QNetworkReply::OperationCanceledError) {
                // Time-out and abort share this code; only our flag tells them apart.
                text = (*stopped || stop.stop_requested())
                           ? QStringLiteral("cancelled")
                           : QStringLiteral("The request timed out.");
            }
            throw APIError::transport(error, text);
        }
        if (!statusAttribute.isValid()) {
            throw APIError::malformedResponse(QStringLiteral("not an HTTP response"));
        }
        const int status = statusAttribute.toInt();

        if (isRedirect(status)) {
            // Raw header: the parsed form drops relative references.
            const QUrl location = QUrl::fromEncoded(reply->rawHeader("Location"));
            const QUrl target = location.isValid() ? reply->url().resolved(location) : QUrl();
            const bool followable = target.isValid() && (target.scheme() == QLatin1String("http") ||
                                                         target.scheme() == QLatin1String("https"));
            if (followable) {
                if (hop >= m_options.maxRedirects) {
                    throw APIError::transport(QNetworkReply::TooManyRedirectsError,
                                              QStringLiteral("too many HTTP redirects"));
                }
                // As browsers do: 303, and 301/302 after a POST, continue as GET.
                const bool toGet =
                    status == 303 || ((status == 301 || status == 302) && method == "POST");
                current = copiedRequest(current, target, tokenOrigin, toGet);
                if (toGet) {
                    method = "GET";
                    bodyFactory = nullptr;
                }
                continue;
            }
        }

        const QByteArray body = download ? QByteArray() : reply->readAll();
        validate(status, body);
        if (download) {
            if (!sink) {
                sink = std::make_unique<QSaveFile>(downloadPath);
                if (!sink->open(QIODevice::WriteOnly)) {
                    throw FileSystemError(QStringLiteral("Cannot write"), downloadPath,
                                          sink->errorString());
                }
            }
            if (!sink->commit()) {
                throw FileSystemError(QStringLiteral("Cannot move download to"), downloadPath,
                                      sink->errorString());
            }
        }
        co_return Response{status, body};
    }
}

QCoro::Task<void> APIClient::postJSON(QString path, QByteArray json, std::stop_token stop) const {
    Request request = co_await makeRequest(path, "POST");
    co_await send(std::move(request), bufferBody(std::move(json)), QString(), stop);
}

QCoro::Task<ClaimedJob> APIClient::claimJob(QUuid workerID, QString workerName,
                                            QString workerPlatform, std::stop_token stop) const {
    const ClaimRequest claim{workerID, workerName, workerPlatform};
    Request request = co_await makeRequest(QStringLiteral("/api/workers/claim-job/"), "POST");
    const Response response =
        co_await send(std::move(request), bufferBody(compactJSON(claim.toJson())), QString(), stop);
    co_return ClaimedJob::fromJson(response.body);
}

QCoro::Task<void> APIClient::downloadSource(QString jobID, QString destinationPath,
                                            std::stop_token stop) const {
    Request request = co_await makeRequest(jobPath(jobID, QStringLiteral("download")), "GET");
    // A download carries only the token of the headers set above.
    request.request = copiedRequest(request.request, request.request.url(), request.request.url(),
                                    /*dropBody=*/true);
    co_await send(std::move(request), nullptr, destinationPath, stop);
}

QCoro::Task<void> APIClient::reportProgress(QString jobID, int progress, QString status,
                                            std::stop_token stop) const {
    const ProgressRequest body{progress, status};
    co_await postJSON(jobPath(jobID, QStringLiteral("progress")), compactJSON(body.toJson()), stop);
}

QCoro::Task<UploadResult> APIClient::uploadOutput(QString jobID, QString filePath,
                                                  std::stop_token stop) const {
    const QString path = jobPath(jobID, QStringLiteral("upload"));
    const QString boundary = QStringLiteral("Boundary-") + uuidText(QUuid::createUuid());

    struct stat attributes {};
    if (::stat(QFile::encodeName(filePath).constData(), &attributes) != 0) {
        throw FileSystemError(QStringLiteral("Cannot read attributes of"), filePath,
                              QString::fromLocal8Bit(std::strerror(errno)));
    }
    const qint64 fileSize = S_ISREG(attributes.st_mode) ? qint64(attributes.st_size) : 0;
    const QList<QPair<QString, QString>> fields{
        {QStringLiteral("file_size"), QString::number(fileSize)}};

    // Opened once up front so an unreadable file fails before anything is sent;
    // a re-send (redirect) opens it again.
    auto first =
        std::make_shared<std::unique_ptr<QIODevice>>(std::make_unique<MultipartUploadDevice>(
            boundary, fields, QStringLiteral("file"), filePath, fileSize));
    const qint64 contentLength = (*first)->size();
    BodyFactory body = [first, boundary, fields, filePath,
                        fileSize]() -> std::unique_ptr<QIODevice> {
        if (*first) {
            return std::move(*first);
        }
        return std::make_unique<MultipartUploadDevice>(boundary, fields, QStringLiteral("file"),
                                                       filePath, fileSize);
    };

    Request request = co_await makeRequest(path, "POST");
    request.request.setRawHeader("Content-Type",
                                 "multipart/form-data; boundary=" + boundary.toUtf8());
    request.request.setHeader(QNetworkRequest::ContentLengthHeader, contentLength);
    const Response response = co_await send(std::move(request), body, QString(), stop);
    co_return UploadResult::fromJson(response.body);
}

QCoro::Task<void> APIClient::completeJob(QString jobID, QString outputS3Key, qint64 outputFileSize,
                                         qint64 conversionDurationSeconds,
                                         std::stop_token stop) const {
    const CompleteRequest body{outputS3Key, outputFileSize, conversionDurationSeconds};
    co_await postJSON(jobPath(jobID, QStringLiteral("complete")), compactJSON(body.toJson()), stop);
}

QCoro::Task<void> APIClient::failJob(QString jobID, QString errorMessage,
                                     std::stop_token stop) const {
    const FailRequest body{errorMessage};
    co_await postJSON(jobPath(jobID, QStringLiteral("fail")), compactJSON(body.toJson()), stop);
}
