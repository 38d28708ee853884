#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

// One answer: a status, headers and either an in-memory body or a file that
// the connection streams from disk.
struct HttpResponse {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    QString filePath; // when set, the body is this file's bytes, read in chunks
    qint64 fileSize = 0;

    static HttpResponse text(int status, const QByteArray& text);
    static HttpResponse json(int status, const QJsonObject& object);
    static HttpResponse file(const QString& path, qint64 size);
    static QByteArray reasonPhrase(int status);
};
