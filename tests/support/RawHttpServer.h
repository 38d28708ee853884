#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>
#include <functional>

class QTcpSocket;

// One request as it arrived on the wire.
struct RecordedRequest {
    QByteArray method;
    QByteArray target; // exactly as sent, still percent-encoded
    QByteArray head;   // request line and header lines, untouched
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    qint64 bodyLength = 0; // all bytes received, also those not kept

    bool hasHeader(const QByteArray& name) const;
    QByteArray header(const QByteArray& name) const;
};

// An HTTP/1.1 server on 127.0.0.1 with byte-level control over the answer, for
// faults a framework server cannot produce on cue (stalls, drops, raw bytes).
// The handler gets each whole request and writes whatever it likes to the socket.
class RawHttpServer : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<void(const RecordedRequest&, QTcpSocket*)>;

    explicit RawHttpServer(QObject* parent = nullptr);
    ~RawHttpServer() override;

    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Bodies beyond this many bytes are counted but not kept.
    void setMaxKeptBodyBytes(qint64 bytes) { m_maxKeptBodyBytes = bytes; }

    quint16 port() const { return m_server.serverPort(); }
    QUrl baseURL() const;
    const QList<RecordedRequest>& requests() const { return m_requests; }
    int connectionCount() const { return m_connectionCount; }

    static QByteArray response(int status, const QByteArray& body,
                               const QList<QPair<QByteArray, QByteArray>>& headers = {
                                   {"Content-Type", "application/json"}});
    static void respond(QTcpSocket* socket, int status, const QByteArray& body = {},
                        const QList<QPair<QByteArray, QByteArray>>& headers = {
                            {"Content-Type", "application/json"}});

Q_SIGNALS:
    void requestReceived(const RecordedRequest& request);

private:
    struct Connection {
        QByteArray buffer;
        bool inBody = false;
        qint64 remaining = 0;
        RecordedRequest request;
    };

    void onNewConnection();
    void onReadable(QTcpSocket* socket);

    QTcpServer m_server;
    Handler m_handler;
    QHash<QTcpSocket*, Connection> m_connections;
    QList<RecordedRequest> m_requests;
    qint64 m_maxKeptBodyBytes = 64 * 1024 * 1024;
    int m_connectionCount = 0;
};
