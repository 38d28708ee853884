#pragma once

#include "RawHttpServer.h"

#include <QHash>
#include <QJsonObject>
#include <QStringList>
#include <functional>

// A small Kestrel server over the raw loopback server: a claim queue, one
// source file for every job, and a record of every report it receives.
class MiniKestrel {
public:
    struct Report {
        QString jobID;
        QString action; // progress, upload, complete, fail, download
        QJsonObject body;
    };

    MiniKestrel();

    void enqueue(const QString& id, const QString& type, const QString& fileName,
                 bool preserveAudio = false);
    void setSource(QByteArray bytes) { m_source = std::move(bytes); }
    // Answers a request instead of the normal handling when it returns true.
    void setFault(std::function<bool(const RecordedRequest&, QTcpSocket*)> fault) {
        m_fault = std::move(fault);
    }

    RawHttpServer& server() { return m_server; }
    QList<Report> reports(const QString& jobID) const;
    QList<QPair<QString, int>> progress(const QString& jobID) const;
    int claims() const { return m_claims; }
    int maxInFlight() const { return m_maxInFlight; }
    int finished() const { return m_finished; }
    qint64 uploadedBytes(const QString& jobID) const { return m_uploadedBytes.value(jobID); }

private:
    void handle(const RecordedRequest& request, QTcpSocket* socket);

    RawHttpServer m_server;
    QByteArray m_source;
    QList<QJsonObject> m_queue;
    QList<Report> m_reports;
    QHash<QString, qint64> m_uploadedBytes;
    std::function<bool(const RecordedRequest&, QTcpSocket*)> m_fault;
    int m_claims = 0;
    int m_inFlight = 0;
    int m_maxInFlight = 0;
    int m_finished = 0;
};
