#include "MiniKestrel.h"

#include <QJsonDocument>
#include <QTcpSocket>
#include <QUrl>

MiniKestrel::MiniKestrel() {
    m_server.setHandler(
        [this](const RecordedRequest& request, QTcpSocket* socket) { handle(request, socket); });
}

void MiniKestrel::enqueue(const QString& id, const QString& type, const QString& fileName,
                          bool preserveAudio) {
    m_queue.append(QJsonObject{{"claimed", true},
                               {"job_id", id},
                               {"job_type", type},
                               {"file_name", fileName},
                               {"preserve_audio", preserveAudio}});
}

QList<MiniKestrel::Report> MiniKestrel::reports(const QString& jobID) const {
    QList<Report> matching;
    for (const Report& report : m_reports) {
        if (report.jobID == jobID) {
            matching.append(report);
        }
    }
    return matching;
}

QList<QPair<QString, int>> MiniKestrel::progress(const QString& jobID) const {
    QList<QPair<QString, int>> stages;
    for (const Report& report : reports(jobID)) {
        if (report.action == QLatin1String("progress")) {
            stages.append(
                {report.body.value("status").toString(), report.body.value("progress").toInt()});
        }
    }
    return stages;
}

void MiniKestrel::handle(const RecordedRequest& request, QTcpSocket* socket) {
    if (m_fault && m_fault(request, socket)) {
        return;
    }
    if (request.header("Authorization") != "Worker good-token") {
        RawHttpServer::respond(socket, 401, "bad token");
        return;
    }
    const QString path = QString::fromLatin1(request.target);
    if (path == QLatin1String("/api/workers/claim-job/")) {
        ++m_claims;
        if (m_queue.isEmpty()) {
            RawHttpServer::respond(socket, 200, R"({"claimed":false})");
            return;
        }
        ++m_inFlight;
        m_maxInFlight = std::max(m_maxInFlight, m_inFlight);
        RawHttpServer::respond(socket, 200,
                               QJsonDocument(m_queue.takeFirst()).toJson(QJsonDocument::Compact));
        return;
    }
    const QStringList parts = path.split(QLatin1Char('/'));
    // "", "api", "workers", "jobs", <id>, <action>, ""
    if (parts.size() != 7 || parts[3] != QLatin1String("jobs")) {
        RawHttpServer::respond(socket, 404, "no such endpoint");
        return;
    }
    const QString id = QUrl::fromPercentEncoding(parts[4].toLatin1());
    const QString action = parts[5];
    QJsonObject body = QJsonDocument::fromJson(request.body).object();
    if (action == QLatin1String("download")) {
        m_reports.append({id, action, {}});
        RawHttpServer::respond(socket, 200, m_source,
                               {{"Content-Type", "application/octet-stream"}});
        return;
    }
    if (action == QLatin1String("upload")) {
        // The declared size field is the first part's value.
        const qsizetype start = request.body.indexOf("\r\n\r\n") + 4;
        const qint64 declared =
            request.body.mid(start, request.body.indexOf("\r\n", start) - start).toLongLong();
        m_uploadedBytes.insert(id, declared);
        body = QJsonObject{{"bytes", request.bodyLength}};
        m_reports.append({id, action, body});
        RawHttpServer::respond(
            socket, 200,
            QJsonDocument(QJsonObject{{"s3_key", "outputs/" + id}, {"file_size", declared}})
                .toJson(QJsonDocument::Compact));
        return;
    }
    m_reports.append({id, action, body});
    if (action == QLatin1String("complete") || action == QLatin1String("fail")) {
        m_inFlight = std::max(m_inFlight - 1, 0);
        ++m_finished;
    }
    RawHttpServer::respond(socket, 200, "{}");
}
