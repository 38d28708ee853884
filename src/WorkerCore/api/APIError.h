#pragma once

#include "async/WorkerError.h"

#include <QNetworkReply>

// A failure the worker protocol itself defines. The description texts are
// shown by the interface and searched by the engine ("Token rejected").
class APIError : public WorkerError {
public:
    enum class Kind { server, clientError, malformedResponse, transport, unauthorized, notFound };

    static APIError server(int statusCode, QString body);
    static APIError clientError(int statusCode, QString body);
    static APIError malformedResponse(QString text);
    static APIError transport(QNetworkReply::NetworkError code, QString localizedDescription);
    static APIError unauthorized();
    static APIError notFound();

    Kind kind() const { return m_kind; }
    int statusCode() const { return m_statusCode; }
    // Response body (server, clientError), decoding text (malformedResponse)
    // or the HTTP layer's description (transport).
    const QString& text() const { return m_text; }
    QNetworkReply::NetworkError networkError() const { return m_networkError; }

    QString description() const override;

private:
    APIError(Kind kind, int statusCode, QString text,
             QNetworkReply::NetworkError networkError = QNetworkReply::NoError)
        : m_kind(kind)
        , m_statusCode(statusCode)
        , m_text(std::move(text))
        , m_networkError(networkError) {}

    Kind m_kind;
    int m_statusCode;
    QString m_text;
    QNetworkReply::NetworkError m_networkError;
};
