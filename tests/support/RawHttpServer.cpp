#include "RawHttpServer.h"

#include <QTcpSocket>

bool RecordedRequest::hasHeader(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

QByteArray RecordedRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

RawHttpServer::RawHttpServer(QObject* parent)
    : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &RawHttpServer::onNewConnection);
    m_server.listen(QHostAddress::LocalHost, 0);
    m_handler = [](const RecordedRequest&, QTcpSocket* socket) {
        respond(socket, 404, "no handler");
    };
}

RawHttpServer::~RawHttpServer() {
    // The sockets are the listener's children and would otherwise report their
    // disconnection into this half-destroyed object.
    for (QTcpSocket* socket : m_connections.keys()) {
        socket->disconnect(this);
        delete socket;
    }
    m_connections.clear();
}

QUrl RawHttpServer::baseURL() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
}

QByteArray RawHttpServer::response(int status, const QByteArray& body,
                                   const QList<QPair<QByteArray, QByteArray>>& headers) {
    QByteArray bytes = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
    for (const auto& [key, value] : headers) {
        bytes += key + ": " + value + "\r\n";
    }
    bytes += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    bytes += body;
    return bytes;
}

void RawHttpServer::respond(QTcpSocket* socket, int status, const QByteArray& body,
                            const QList<QPair<QByteArray, QByteArray>>& headers) {
    socket->write(response(status, body, headers));
}

void RawHttpServer::onNewConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connectionCount;
        m_connections.insert(socket, Connection{});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void RawHttpServer::onReadable(QTcpSocket* socket) {
    auto it = m_connections.find(socket);
    if (it == m_connections.end()) {
        return;
    }
    it->buffer += socket->readAll();
    for (;;) {
        Connection& c = *it; // re-fetched: the handler may grow the table
        if (!c.inBody) {
            const qsizetype end = c.buffer.indexOf("\r\n\r\n");
            if (end < 0) {
                return;
            }
            const QList<QByteArray> lines = c.buffer.left(end).split('\n');
            c.request = RecordedRequest{};
            c.request.head = c.buffer.left(end + 2);
            c.buffer.remove(0, end + 4);
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            c.request.method = requestLine.value(0);
            c.request.target = requestLine.value(1);
            c.remaining = 0;
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines[i].trimmed();
                const qsizetype colon = line.indexOf(':');
                if (colon <= 0) {
                    continue;
                }
                const QByteArray key = line.left(colon).trimmed();
                const QByteArray value = line.mid(colon + 1).trimmed();
                c.request.headers.append({key, value});
                if (key.compare("Content-Length", Qt::CaseInsensitive) == 0) {
                    c.remaining = value.toLongLong();
                }
            }
            c.inBody = true;
        }
        const qint64 take = std::min<qint64>(c.remaining, c.buffer.size());
        if (c.request.body.size() < m_maxKeptBodyBytes) {
            c.request.body +=
                c.buffer.left(std::min<qint64>(take, m_maxKeptBodyBytes - c.request.body.size()));
        }
        c.request.bodyLength += take;
        c.buffer.remove(0, take);
        c.remaining -= take;
        if (c.remaining > 0) {
            return;
        }
        c.inBody = false;
        const RecordedRequest request = c.request;
        m_requests.append(request);
        Q_EMIT requestReceived(request);
        m_handler(request, socket);
        // The handler may have closed the socket.
        it = m_connections.find(socket);
        if (it == m_connections.end()) {
            return;
        }
    }
}
