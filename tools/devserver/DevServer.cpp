#include "DevServer.h"

#include "HttpConnection.h"
#include "MultipartReceiver.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <stdexcept>

namespace {

// The body of a request that is answered from its head alone still has to be
// read off the wire before the connection can carry the next request.
class DiscardingSink : public HttpBodySink {
public:
    void write(const char*, qint64) override {}
};

const QStringList progressStatuses = {QStringLiteral("downloading"), QStringLiteral("encoding"),
                                      QStringLiteral("uploading"), QStringLiteral("completing")};

HttpResponse badRequest(const QString& why) {
    return HttpResponse::text(400, why.toUtf8());
}

HttpResponse conflict(const QString& why) {
    return HttpResponse::text(409, why.toUtf8());
}

// The JSON object body of a request, or the answer refusing it.
std::optional<HttpResponse> parseObject(const HttpRequest& request, QJsonObject* object) {
    if (request.bodyTooLarge) {
        return HttpResponse::text(413, "request body too large");
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError) {
        return badRequest(QStringLiteral("malformed JSON: %1 at offset %2")
                              .arg(error.errorString())
                              .arg(error.offset));
    }
    if (!document.isObject()) {
        return badRequest(QStringLiteral("malformed JSON: the body must be an object"));
    }
    *object = document.object();
    return std::nullopt;
}

std::optional<QString> stringField(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

// A JSON number that is a whole number (QJsonValue keeps 64-bit integers exact).
std::optional<qint64> integerField(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const qint64 a = value.toInteger(0);
    const qint64 b = value.toInteger(1);
    return a == b ? std::optional<qint64>(a) : std::nullopt;
}

QString decodeSegment(const QByteArray& segment) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(segment));
}

} // namespace

DevServer::DevServer(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_server(new QTcpServer(this)) {
    if (m_options.outputDir.isEmpty()) {
        m_temporaryOutput = std::make_unique<QTemporaryDir>();
        m_options.outputDir = m_temporaryOutput->path();
    }
    QDir().mkpath(m_options.outputDir);
    m_options.outputDir = QFileInfo(m_options.outputDir).absoluteFilePath();
    connect(m_server, &QTcpServer::newConnection, this, &DevServer::acceptConnections);
}

DevServer::~DevServer() {
    // Connections reach back into the server; end them before the jobs go.
    m_server->close();
    for (HttpConnection* connection : findChildren<HttpConnection*>()) {
        connection->disconnect(this);
        delete connection;
    }
}

bool DevServer::listen(quint16 port) {
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 DevServer::port() const {
    return m_server->serverPort();
}

QUrl DevServer::baseUrl() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
}

QString DevServer::errorString() const {
    return m_server->errorString();
}

QString DevServer::outputDir() const {
    return m_options.outputDir;
}

QString DevServer::addJob(NewJob newJob) {
    DevJob job;
    job.id = newJob.id;
    while (job.id.isEmpty() || find(job.id)) {
        if (!newJob.id.isEmpty()) {
            throw std::invalid_argument("job id already in use: " + newJob.id.toStdString());
        }
        job.id = QStringLiteral("job-%1").arg(m_nextJobNumber++);
    }
    job.jobType = newJob.jobType;
    job.sourcePath = QFileInfo(newJob.sourcePath).absoluteFilePath();
    job.fileName =
        newJob.fileName.isEmpty() ? QFileInfo(newJob.sourcePath).fileName() : newJob.fileName;
    job.preserveAudio = newJob.preserveAudio;
    m_jobs.append(job);
    emit jobsChanged();
    return job.id;
}

QList<DevJob> DevServer::jobs() const {
    return m_jobs;
}

std::optional<DevJob> DevServer::job(const QString& id) const {
    const DevJob* found = find(id);
    return found ? std::optional<DevJob>(*found) : std::nullopt;
}

bool DevServer::allJobsFinished() const {
    return std::all_of(m_jobs.begin(), m_jobs.end(),
                       [](const DevJob& job) { return job.isFinished(); });
}

QJsonObject DevServer::summary() const {
    QJsonArray list;
    QHash<QString, int> counts;
    for (const DevJob& job : m_jobs) {
        list.append(job.toJson());
        ++counts[DevJob::toString(job.state)];
    }
    QJsonObject countObject;
    for (DevJob::State state :
         {DevJob::State::queued, DevJob::State::claimed, DevJob::State::inProgress,
          DevJob::State::completed, DevJob::State::failed}) {
        countObject.insert(DevJob::toString(state), counts.value(DevJob::toString(state)));
    }
    return QJsonObject{{"jobs", list}, {"counts", countObject}};
}

void DevServer::setFault(Endpoint endpoint, Fault fault) {
    if (fault.count == 0) {
        m_faults.remove(int(endpoint));
    } else {
        m_faults.insert(int(endpoint), std::move(fault));
    }
}

void DevServer::clearFaults() {
    m_faults.clear();
}

QString DevServer::toString(Endpoint endpoint) {
    switch (endpoint) {
    case Endpoint::claim:
        return QStringLiteral("claim");
    case Endpoint::download:
        return QStringLiteral("download");
    case Endpoint::progress:
        return QStringLiteral("progress");
    case Endpoint::upload:
        return QStringLiteral("upload");
    case Endpoint::complete:
        return QStringLiteral("complete");
    case Endpoint::fail:
        return QStringLiteral("fail");
    }
    return {};
}

void DevServer::acceptConnections() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto* connection = new HttpConnection(socket, this, this);
        connect(connection, &HttpConnection::exchangeFinished, this,
                [this](const HttpConnection::Exchange& exchange) {
                    const QString status = exchange.status == 0 ? QStringLiteral("aborted")
                                                                : QString::number(exchange.status);
                    emit requestHandled(
                        QStringLiteral("%1 %2 %3 %4 in=%5 out=%6 %7ms")
                            .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")),
                                 QString::fromLatin1(exchange.method),
                                 QString::fromLatin1(exchange.target), status)
                            .arg(exchange.bytesIn)
                            .arg(exchange.bytesOut)
                            .arg(exchange.milliseconds));
                });
        connect(connection, &HttpConnection::closed, this,
                [this, connection] { m_prepared.remove(connection); });
    }
}

DevServer::Prepared DevServer::prepare(const HttpRequest& head) {
    Prepared prepared;
    const QList<QByteArray> segments = head.path.split('/');
    QByteArray method = "POST";
    if (head.path == "/dev/jobs" || head.path == "/dev/jobs/") {
        prepared.devJobs = true;
        method = "GET";
    } else if (head.path == "/api/workers/claim-job/") {
        prepared.endpoint = Endpoint::claim;
    } else if (segments.size() == 7 && segments[1] == "api" && segments[2] == "workers" &&
               segments[3] == "jobs" && !segments[4].isEmpty() && segments[6].isEmpty()) {
        prepared.jobId = decodeSegment(segments[4]);
        const QByteArray& action = segments[5];
        if (action == "download") {
            prepared.endpoint = Endpoint::download;
            method = "GET";
        } else if (action == "progress") {
            prepared.endpoint = Endpoint::progress;
        } else if (action == "upload") {
            prepared.endpoint = Endpoint::upload;
        } else if (action == "complete") {
            prepared.endpoint = Endpoint::complete;
        } else if (action == "fail") {
            prepared.endpoint = Endpoint::fail;
        }
    }
    if (!prepared.endpoint && !prepared.devJobs) {
        prepared.early = HttpResponse::text(404, "no such endpoint");
        return prepared;
    }
    if (head.method != method) {
        HttpResponse response = HttpResponse::text(405, "use " + method);
        response.headers.emplaceBack("Allow", method);
        prepared.early = response;
        return prepared;
    }
    if (prepared.devJobs) {
        return prepared;
    }

    const auto fault = m_faults.find(int(*prepared.endpoint));
    if (fault != m_faults.end()) {
        prepared.delay = fault->delay;
        prepared.drop = fault->dropConnection;
        if (fault->status != 0) {
            prepared.early = HttpResponse::text(fault->status, fault->body);
        }
        if (fault->count > 0 && --fault->count == 0) {
            m_faults.erase(fault);
        }
        if (prepared.early || prepared.drop) {
            return prepared;
        }
    }

    if (head.header("authorization") != "Worker " + m_options.token.toUtf8()) {
        prepared.early = HttpResponse::text(401, "invalid worker token");
        return prepared;
    }
    if (*prepared.endpoint != Endpoint::claim) {
        prepared.early = checkHeld(prepared.jobId);
        if (prepared.early) {
            return prepared;
        }
    }
    if (*prepared.endpoint == Endpoint::upload &&
        !MultipartReceiver::boundaryFromContentType(
            head.header("content-type").value_or(QByteArray()))) {
        prepared.early =
            badRequest(QStringLiteral("upload must be multipart/form-data with a boundary"));
    }
    return prepared;
}

std::optional<HttpResponse> DevServer::checkHeld(const QString& id) const {
    const DevJob* job = find(id);
    if (!job) {
        return HttpResponse::text(404, "no such job");
    }
    switch (job->state) {
    case DevJob::State::queued:
        return conflict(QStringLiteral("job %1 is not claimed").arg(id));
    case DevJob::State::completed:
        return conflict(QStringLiteral("job %1 is already completed").arg(id));
    case DevJob::State::failed:
        return conflict(QStringLiteral("job %1 has already failed").arg(id));
    case DevJob::State::claimed:
    case DevJob::State::inProgress:
        return std::nullopt;
    }
    return std::nullopt;
}

std::unique_ptr<HttpBodySink> DevServer::openBody(const HttpRequest& head,
                                                  HttpConnection* connection) {
    Prepared prepared = prepare(head);
    std::unique_ptr<HttpBodySink> sink;
    if (prepared.early || prepared.drop) {
        sink = std::make_unique<DiscardingSink>();
    } else if (prepared.endpoint == Endpoint::upload) {
        const QByteArray boundary = *MultipartReceiver::boundaryFromContentType(
            head.header("content-type").value_or(QByteArray()));
        sink = std::make_unique<MultipartReceiver>(
            boundary, [this, id = prepared.jobId](const QString& fileName) {
                return storagePath(id, fileName);
            });
    }
    m_prepared.insert(connection, std::move(prepared));
    return sink;
}

void DevServer::handle(HttpRequest request, std::unique_ptr<HttpBodySink> body,
                       HttpConnection* connection) {
    const Prepared prepared = m_prepared.take(connection);
    auto finish = [this, prepared, request = std::move(request),
                   body = std::shared_ptr<HttpBodySink>(std::move(body)), connection] {
        if (prepared.drop) {
            connection->abort();
        } else if (prepared.early) {
            connection->respond(*prepared.early);
        } else {
            connection->respond(answer(prepared, request, body.get()));
        }
    };
    if (prepared.delay.count() > 0) {
        // Tied to the connection: a client that leaves cancels the answer.
        QTimer::singleShot(prepared.delay, connection, std::move(finish));
    } else {
        finish();
    }
}

HttpResponse DevServer::answer(const Prepared& prepared, const HttpRequest& request,
                               HttpBodySink* body) {
    if (prepared.devJobs) {
        return HttpResponse::json(200, summary());
    }
    if (*prepared.endpoint == Endpoint::claim) {
        return claim(request);
    }
    // The job may have moved on while a slow body was arriving.
    if (std::optional<HttpResponse> refused = checkHeld(prepared.jobId)) {
        return *refused;
    }
    DevJob& job = *find(prepared.jobId);
    switch (*prepared.endpoint) {
    case Endpoint::download:
        return download(job);
    case Endpoint::progress:
        return progress(job, request);
    case Endpoint::upload:
        return upload(job, body);
    case Endpoint::complete:
        return complete(job, request);
    case Endpoint::fail:
        return fail(job, request);
    case Endpoint::claim:
        break;
    }
    return HttpResponse::text(500, "unrouted endpoint");
}

HttpResponse DevServer::claim(const HttpRequest& request) {
    QJsonObject body;
    if (std::optional<HttpResponse> refused = parseObject(request, &body)) {
        return *refused;
    }
    const std::optional<QString> workerId = stringField(body, QStringLiteral("worker_id"));
    const std::optional<QString> workerName = stringField(body, QStringLiteral("worker_name"));
    const std::optional<QString> platform = stringField(body, QStringLiteral("worker_platform"));
    if (!workerId || !workerName || !platform) {
        return badRequest(
            QStringLiteral("worker_id, worker_name and worker_platform must be strings"));
    }
    const auto next = std::find_if(m_jobs.begin(), m_jobs.end(), [](const DevJob& job) {
        return job.state == DevJob::State::queued;
    });
    if (next == m_jobs.end()) {
        return HttpResponse::json(200, QJsonObject{{"claimed", false}});
    }
    next->state = DevJob::State::claimed;
    next->workerId = *workerId;
    next->workerName = *workerName;
    next->workerPlatform = *platform;
    next->claimedAt = QDateTime::currentDateTimeUtc();
    emit jobsChanged();
    return HttpResponse::json(200, QJsonObject{{"claimed", true},
                                               {"job_id", next->id},
                                               {"job_type", next->jobType},
                                               {"file_name", next->fileName},
                                               {"preserve_audio", next->preserveAudio}});
}

HttpResponse DevServer::download(DevJob& job) {
    const QFileInfo source(job.sourcePath);
    if (!source.isFile()) {
        return HttpResponse::text(500, "source file is gone: " + job.sourcePath.toUtf8());
    }
    ++job.downloads;
    HttpResponse response = HttpResponse::file(job.sourcePath, source.size());
    emit jobsChanged(); // may touch m_jobs, so `job` is not used after it
    return response;
}

HttpResponse DevServer::progress(DevJob& job, const HttpRequest& request) {
    QJsonObject body;
    if (std::optional<HttpResponse> refused = parseObject(request, &body)) {
        return *refused;
    }
    const std::optional<qint64> percent = integerField(body, QStringLiteral("progress"));
    const std::optional<QString> status = stringField(body, QStringLiteral("status"));
    if (!percent || *percent < 0 || *percent > 100) {
        return badRequest(QStringLiteral("progress must be an integer from 0 to 100"));
    }
    if (!status || !progressStatuses.contains(*status)) {
        return badRequest(QStringLiteral("status must be one of ") + progressStatuses.join(u", "));
    }
    job.state = DevJob::State::inProgress;
    job.progressReports.append({int(*percent), *status, QDateTime::currentDateTimeUtc()});
    emit jobsChanged();
    return HttpResponse::json(200, QJsonObject{{"ok", true}});
}

HttpResponse DevServer::upload(DevJob& job, HttpBodySink* body) {
    auto* receiver = dynamic_cast<MultipartReceiver*>(body);
    if (!receiver) {
        return HttpResponse::text(500, "upload arrived without its receiver");
    }
    const MultipartReceiver::Outcome outcome = receiver->finish();
    if (!outcome.error.isEmpty()) {
        return badRequest(outcome.error);
    }
    job.s3Key = QStringLiteral("outputs/%1/%2").arg(job.id, outcome.fileName);
    job.outputPath = outcome.storedPath;
    job.outputSize = outcome.storedSize;
    HttpResponse response = HttpResponse::json(
        200, QJsonObject{{"s3_key", *job.s3Key}, {"file_size", outcome.storedSize}});
    emit jobsChanged();
    return response;
}

HttpResponse DevServer::complete(DevJob& job, const HttpRequest& request) {
    QJsonObject body;
    if (std::optional<HttpResponse> refused = parseObject(request, &body)) {
        return *refused;
    }
    const std::optional<QString> key = stringField(body, QStringLiteral("output_s3_key"));
    const std::optional<qint64> size = integerField(body, QStringLiteral("output_file_size"));
    const std::optional<qint64> seconds =
        integerField(body, QStringLiteral("conversion_duration_seconds"));
    if (!key || !size || !seconds || *seconds < 0) {
        return badRequest(QStringLiteral("output_s3_key must be a string, output_file_size and "
                                         "conversion_duration_seconds non-negative integers"));
    }
    if (!job.s3Key) {
        return conflict(QStringLiteral("job %1 has no upload to complete with").arg(job.id));
    }
    if (*key != *job.s3Key) {
        return badRequest(
            QStringLiteral("output_s3_key %1 is not this job's upload (%2)").arg(*key, *job.s3Key));
    }
    if (*size != *job.outputSize) {
        return badRequest(QStringLiteral("output_file_size %1 does not match the stored %2 bytes")
                              .arg(*size)
                              .arg(*job.outputSize));
    }
    job.state = DevJob::State::completed;
    job.conversionDurationSeconds = *seconds;
    job.finishedAt = QDateTime::currentDateTimeUtc();
    const QString id = job.id;
    emit jobsChanged();
    emit jobFinished(id);
    return HttpResponse::json(200, QJsonObject{{"ok", true}});
}

HttpResponse DevServer::fail(DevJob& job, const HttpRequest& request) {
    QJsonObject body;
    if (std::optional<HttpResponse> refused = parseObject(request, &body)) {
        return *refused;
    }
    const std::optional<QString> message = stringField(body, QStringLiteral("error_message"));
    if (!message) {
        return badRequest(QStringLiteral("error_message must be a string"));
    }
    job.state = DevJob::State::failed;
    job.errorMessage = *message;
    job.finishedAt = QDateTime::currentDateTimeUtc();
    const QString id = job.id;
    emit jobsChanged();
    emit jobFinished(id);
    return HttpResponse::json(200, QJsonObject{{"ok", true}});
}

DevJob* DevServer::find(const QString& id) {
    const auto it =
        std::find_if(m_jobs.begin(), m_jobs.end(), [&](const DevJob& job) { return job.id == id; });
    return it == m_jobs.end() ? nullptr : &*it;
}

const DevJob* DevServer::find(const QString& id) const {
    return const_cast<DevServer*>(this)->find(id);
}

QString DevServer::storagePath(const QString& jobId, const QString& fileName) const {
    QString safeId = jobId;
    for (QChar& c : safeId) {
        if (c == u'/' || c == u'\\' || c == QChar(0)) {
            c = u'_';
        }
    }
    return QDir(m_options.outputDir).filePath(safeId + u'-' + fileName);
}
