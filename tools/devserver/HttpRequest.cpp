#include "HttpRequest.h"

namespace {

bool isToken(QByteArrayView text) {
    if (text.isEmpty()) {
        return false;
    }
    for (char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool hasToken(QByteArrayView list, QByteArrayView token) {
    for (const QByteArray& item : list.toByteArray().split(',')) {
        if (item.trimmed().compare(token, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<QByteArray> HttpRequest::header(QByteArrayView name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

bool HttpRequest::wantsKeepAlive() const {
    const QByteArray connection = header("connection").value_or(QByteArray());
    if (minorVersion >= 1) {
        return !hasToken(connection, "close");
    }
    return hasToken(connection, "keep-alive");
}

bool HttpRequest::expectsContinue() const {
    return minorVersion >= 1 &&
           header("expect").value_or(QByteArray()).compare("100-continue", Qt::CaseInsensitive) ==
               0;
}

std::optional<HttpRequest> HttpRequest::parseHead(QByteArrayView head) {
    QList<QByteArray> lines = head.toByteArray().split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    if (lines.isEmpty()) {
        return std::nullopt;
    }
    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || parts[1].isEmpty()) {
        return std::nullopt;
    }
    HttpRequest request;
    request.method = parts[0];
    request.target = parts[1];
    if (parts[2] == "HTTP/1.1") {
        request.minorVersion = 1;
    } else if (parts[2] == "HTTP/1.0") {
        request.minorVersion = 0;
    } else {
        return std::nullopt;
    }
    const qsizetype query = request.target.indexOf('?');
    request.path = query < 0 ? request.target : request.target.left(query);
    if (!request.path.startsWith('/')) {
        return std::nullopt;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype colon = line.indexOf(':');
        // Obsolete line folding (a line starting with white space) is refused, as RFC 9112 allows.
        if (colon <= 0 || !isToken(QByteArrayView(line).first(colon))) {
            return std::nullopt;
        }
        request.headers.emplaceBack(line.left(colon).toLower(), line.mid(colon + 1).trimmed());
    }
    return request;
}
