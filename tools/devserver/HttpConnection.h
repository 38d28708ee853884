#pragma once

#include "HttpBodySink.h"
#include "HttpRequest.h"
#include "HttpResponse.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>
#include <memory>

class HttpRequestHandler;
class QTcpSocket;

// One HTTP/1.1 connection: parses requests one at a time, streams bodies to
// the handler's sink, writes the answer (files in chunks, paced by the socket)
// and keeps the connection alive between requests. Chunked request bodies are
// refused with 411; every body must carry a Content-Length.
class HttpConnection : public QObject {
    Q_OBJECT

public:
    struct Exchange {
        QByteArray method;
        QByteArray target;
        int status = 0;      // 0 when the client went away before the answer was out
        qint64 bytesIn = 0;  // request body bytes received
        qint64 bytesOut = 0; // response body bytes written
        qint64 milliseconds = 0;
    };

    static constexpr qint64 memoryBodyLimit = 1024 * 1024;
    static constexpr qsizetype headLimit = 64 * 1024;
    static constexpr int idleTimeoutMs = 120'000;

    HttpConnection(QTcpSocket* socket, HttpRequestHandler* handler, QObject* parent = nullptr);
    ~HttpConnection() override;

    // Sends the answer to the request being handled. Ignored when none is.
    void respond(HttpResponse response);
    // Drops the connection without an answer, as a crashed server would.
    void abort();

signals:
    void exchangeFinished(const HttpConnection::Exchange& exchange);
    void closed();

private:
    enum class Phase { head, body, handling, writing, closing };

    void readSocket();
    void process();
    bool startRequest(qsizetype headEnd);
    void deliverBody(const char* data, qint64 size);
    void fail(int status, const QByteArray& text);
    void writeHead(const HttpResponse& response, qint64 bodySize);
    void pumpFile();
    void onBytesWritten();
    void finishExchange();
    void onDisconnected();

    QTcpSocket* m_socket;
    HttpRequestHandler* m_handler;
    Phase m_phase = Phase::head;
    QByteArray m_buffer;
    HttpRequest m_request;
    std::unique_ptr<HttpBodySink> m_sink;
    qint64 m_bodyRemaining = 0;
    bool m_keepAlive = true;
    QFile m_file;
    qint64 m_fileRemaining = 0;
    Exchange m_exchange;
    QElapsedTimer m_clock;
    QTimer m_idle;
    bool m_finished = false;
};
