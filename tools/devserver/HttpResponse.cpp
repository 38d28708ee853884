#include "HttpResponse.h"

#include <QJsonDocument>

HttpResponse HttpResponse::text(int status, const QByteArray& text) {
    HttpResponse response;
    response.status = status;
    response.headers.emplaceBack("Content-Type", "text/plain; charset=utf-8");
    response.body = text;
    return response;
}

HttpResponse HttpResponse::json(int status, const QJsonObject& object) {
    HttpResponse response;
    response.status = status;
    response.headers.emplaceBack("Content-Type", "application/json");
    response.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return response;
}

HttpResponse HttpResponse::file(const QString& path, qint64 size) {
    HttpResponse response;
    response.headers.emplaceBack("Content-Type", "application/octet-stream");
    response.filePath = path;
    response.fileSize = size;
    return response;
}

QByteArray HttpResponse::reasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 410:
        return "Gone";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}
