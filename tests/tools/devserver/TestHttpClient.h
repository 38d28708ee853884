#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPair>
#include <QUrl>

class QIODevice;

struct TestReply {
    int status = 0;
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QList<QPair<QByteArray, QByteArray>> headers;

    QByteArray header(const QByteArray& name) const;
};

// A real HTTP client for the server under test: QNetworkAccessManager over
// loopback, waiting for each reply on a local event loop.
class TestHttpClient {
public:
    TestHttpClient(QUrl base, QByteArray token);

    // encodedPath is used as given, so tests control the percent-encoding.
    TestReply send(const QByteArray& method, const QByteArray& encodedPath,
                   const QByteArray& body = {},
                   const QList<QPair<QByteArray, QByteArray>>& extraHeaders = {},
                   bool withToken = true);
    TestReply sendDevice(const QByteArray& encodedPath, QIODevice* body,
                         const QByteArray& contentType);
    // Streams a download into a file; sample() is called while bytes arrive.
    TestReply download(const QByteArray& encodedPath, const QString& filePath,
                       const std::function<void()>& sample = {});

    TestReply postJson(const QByteArray& encodedPath, const QByteArray& json);
    TestReply claim(const QByteArray& workerId = "11111111-2222-3333-4444-555555555555");

    static QByteArray multipartHead(const QByteArray& boundary, const QByteArray& fileName,
                                    qint64 size);
    static QByteArray multipartTail(const QByteArray& boundary);
    static QByteArray multipartBody(const QByteArray& boundary, const QByteArray& fileName,
                                    const QByteArray& content);
    static QByteArray newBoundary();

private:
    TestReply finish(QNetworkReply* reply, const std::function<void()>& sample = {});
    QNetworkRequest request(const QByteArray& encodedPath, bool withToken) const;

    QUrl m_base;
    QByteArray m_token;
    QNetworkAccessManager m_nam;
};
