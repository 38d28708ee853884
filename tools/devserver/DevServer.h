#pragma once

#include "DevJob.h"
#include "HttpRequestHandler.h"
#include "HttpResponse.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>

class HttpConnection;
class QTcpServer;
class QTemporaryDir;

// A Kestrel server for development, demos and tests: the six worker endpoints
// on 127.0.0.1, a queue of jobs handed out in order, uploads stored on disk and
// the bookkeeping of who holds which job. GET /dev/jobs lists the jobs as JSON
// (no token needed; it is not part of the worker API).
class DevServer : public QObject, private HttpRequestHandler {
    Q_OBJECT

public:
    enum class Endpoint { claim, download, progress, upload, complete, fail };

    // A scripted misbehaviour for the next `count` requests to one endpoint
    // (-1: until cleared). The body of a faulted request is still read in full.
    struct Fault {
        int status = 0; // answer this instead; 0 answers normally (after the delay)
        QByteArray body;
        std::chrono::milliseconds delay{0};
        bool dropConnection = false; // close the socket instead of answering
        int count = 1;
    };

    struct Options {
        QString token;
        QString outputDir; // empty: a temporary folder removed with the server
    };

    struct NewJob {
        QString sourcePath;
        QString jobType = QStringLiteral("preview");
        bool preserveAudio = false;
        QString id;       // empty: "job-" + a running number
        QString fileName; // empty: the source's file name
    };

    explicit DevServer(Options options, QObject* parent = nullptr);
    ~DevServer() override;

    bool listen(quint16 port = 0);
    quint16 port() const;
    QUrl baseUrl() const;
    QString errorString() const;
    QString outputDir() const;

    // Queues a job behind the others. Throws std::invalid_argument for an id in use.
    QString addJob(NewJob job);
    QList<DevJob> jobs() const;
    std::optional<DevJob> job(const QString& id) const;
    bool allJobsFinished() const;
    // {"jobs": [...], "counts": {state: n}}
    QJsonObject summary() const;

    void setFault(Endpoint endpoint, Fault fault);
    void clearFaults();

    static QString toString(Endpoint endpoint);

signals:
    // One line per request, written once its answer is out (or the client left).
    void requestHandled(const QString& line);
    void jobFinished(const QString& id);
    void jobsChanged();

private:
    struct Prepared {
        std::optional<Endpoint> endpoint;
        bool devJobs = false;
        QString jobId;
        std::optional<HttpResponse> early; // decided from the head alone
        std::chrono::milliseconds delay{0};
        bool drop = false;
    };

    std::unique_ptr<HttpBodySink> openBody(const HttpRequest& head,
                                           HttpConnection* connection) override;
    void handle(HttpRequest request, std::unique_ptr<HttpBodySink> body,
                HttpConnection* connection) override;

    void acceptConnections();
    Prepared prepare(const HttpRequest& head);
    std::optional<HttpResponse> checkHeld(const QString& id) const;
    HttpResponse answer(const Prepared& prepared, const HttpRequest& request, HttpBodySink* body);
    HttpResponse claim(const HttpRequest& request);
    HttpResponse download(DevJob& job);
    HttpResponse progress(DevJob& job, const HttpRequest& request);
    HttpResponse upload(DevJob& job, HttpBodySink* body);
    HttpResponse complete(DevJob& job, const HttpRequest& request);
    HttpResponse fail(DevJob& job, const HttpRequest& request);
    DevJob* find(const QString& id);
    const DevJob* find(const QString& id) const;
    QString storagePath(const QString& jobId, const QString& fileName) const;

    Options m_options;
    std::unique_ptr<QTemporaryDir> m_temporaryOutput;
    QTcpServer* m_server;
    QList<DevJob> m_jobs;
    int m_nextJobNumber = 1;
    QHash<int, Fault> m_faults; // by Endpoint
    QHash<HttpConnection*, Prepared> m_prepared;
};
