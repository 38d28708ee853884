#include "api/APIError.h"

APIError APIError::server(int statusCode, QString body) {
    return APIError(Kind::server, statusCode, std::move(body));
}

APIError APIError::clientError(int statusCode, QString body) {
    return APIError(Kind::clientError, statusCode, std::move(body));
}

APIError APIError::malformedResponse(QString text) {
    return APIError(Kind::malformedResponse, 0, std::move(text));
}

APIError APIError::transport(QNetworkReply::NetworkError code, QString localizedDescription) {
    return APIError(Kind::transport, 0, std::move(localizedDescription), code);
}

APIError APIError::unauthorized() {
    return APIError(Kind::unauthorized, 401, {});
}

APIError APIError::notFound() {
    return APIError(Kind::notFound, 404, {});
}

QString APIError::description() const {
    switch (m_kind) {
    case Kind::server:
        return QStringLiteral("Server error %1: %2").arg(m_statusCode).arg(m_text);
    case Kind::clientError:
        return QStringLiteral("Client error %1: %2").arg(m_statusCode).arg(m_text);
    case Kind::malformedResponse:
        return QStringLiteral("Malformed response: ") + m_text;
    case Kind::transport:
        return QStringLiteral("Transport error: ") + m_text;
    case Kind::unauthorized:
        return QStringLiteral("Token rejected (401)");
    case Kind::notFound:
        return QStringLiteral("Job not found (404)");
    }
    return {};
}
