#include "TestHttpClient.h"

#include "RunTask.h"

#include <QBuffer>
#include <QFile>
#include <QUuid>
#include <functional>

QByteArray TestReply::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

TestHttpClient::TestHttpClient(QUrl base, QByteArray token)
    : m_base(std::move(base))
    , m_token(std::move(token)) {}

QNetworkRequest TestHttpClient::request(const QByteArray& encodedPath, bool withToken) const {
    QNetworkRequest request(QUrl::fromEncoded(m_base.toEncoded() + encodedPath, QUrl::StrictMode));
    if (withToken) {
        request.setRawHeader("Authorization", "Worker " + m_token);
    }
    return request;
}

TestReply TestHttpClient::finish(QNetworkReply* reply, const std::function<void()>& sample) {
    const bool done = kwtest::waitUntil(
        [&] {
            if (sample) {
                sample();
            }
            return reply->isFinished();
        },
        std::chrono::seconds(120));
    TestReply result;
    if (!done) {
        reply->abort();
        result.error = QNetworkReply::TimeoutError;
    } else {
        result.error = reply->error();
    }
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    result.headers = reply->rawHeaderPairs();
    reply->deleteLater();
    return result;
}

TestReply TestHttpClient::send(const QByteArray& method, const QByteArray& encodedPath,
                               const QByteArray& body,
                               const QList<QPair<QByteArray, QByteArray>>& extraHeaders,
                               bool withToken) {
    QNetworkRequest req = request(encodedPath, withToken);
    for (const auto& [name, value] : extraHeaders) {
        req.setRawHeader(name, value);
    }
    QNetworkReply* reply =
        method == "GET" ? m_nam.get(req) : m_nam.sendCustomRequest(req, method, body);
    return finish(reply);
}

TestReply TestHttpClient::sendDevice(const QByteArray& encodedPath, QIODevice* body,
                                     const QByteArray& contentType) {
    QNetworkRequest req = request(encodedPath, true);
    req.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    req.setHeader(QNetworkRequest::ContentLengthHeader, body->size());
    return finish(m_nam.post(req, body));
}

TestReply TestHttpClient::download(const QByteArray& encodedPath, const QString& filePath,
                                   const std::function<void()>& sample) {
    QFile file(filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        return {};
    }
    QNetworkReply* reply = m_nam.get(request(encodedPath, true));
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [&] { file.write(reply->readAll()); });
    TestReply result = finish(reply, sample);
    file.write(result.body);
    result.body.clear();
    return result;
}

TestReply TestHttpClient::postJson(const QByteArray& encodedPath, const QByteArray& json) {
    return send("POST", encodedPath, json, {{"Content-Type", "application/json"}});
}

TestReply TestHttpClient::claim(const QByteArray& workerId) {
    return postJson("/api/workers/claim-job/",
                    R"({"worker_id":")" + workerId +
                        R"(","worker_name":"Test Box","worker_platform":"Linux test"})");
}

// The exact upload body the worker sends: file_size first, then file.
QByteArray TestHttpClient::multipartHead(const QByteArray& boundary, const QByteArray& fileName,
                                         qint64 size) {
    return "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"file_size\"\r\n" +
           "\r\n" + QByteArray::number(size) + "\r\n" + "--" + boundary + "\r\n" +
           "Content-Disposition: form-data; name=\"file\"; filename=\"" + fileName + "\"\r\n" +
           "Content-Type: application/octet-stream\r\n" + "\r\n";
}

QByteArray TestHttpClient::multipartTail(const QByteArray& boundary) {
    return "\r\n--" + boundary + "--\r\n";
}

QByteArray TestHttpClient::multipartBody(const QByteArray& boundary, const QByteArray& fileName,
                                         const QByteArray& content) {
    return multipartHead(boundary, fileName, content.size()) + content + multipartTail(boundary);
}

QByteArray TestHttpClient::newBoundary() {
    return "Boundary-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toLatin1();
}
