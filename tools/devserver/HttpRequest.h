#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <optional>

// One request head as it arrived, plus the body when it was small enough to
// keep in memory.
struct HttpRequest {
    QByteArray method;
    QByteArray target; // as sent, query included
    QByteArray path;   // target without the query, still percent-encoded
    int minorVersion = 1;
    QList<QPair<QByteArray, QByteArray>> headers; // names lower-cased, values trimmed
    qint64 contentLength = 0;
    QByteArray body;
    bool bodyTooLarge = false; // the in-memory body went past its limit and was dropped

    std::optional<QByteArray> header(QByteArrayView name) const;
    bool wantsKeepAlive() const;
    bool expectsContinue() const;

    // Parses the head (request line and header lines, without the blank line).
    // Gives none for anything that is not a well-formed HTTP/1.x request.
    static std::optional<HttpRequest> parseHead(QByteArrayView head);
};
