#include "HttpConnection.h"

#include "HttpRequestHandler.h"

#include <QDateTime>
#include <QLocale>
#include <QTcpSocket>

namespace {

constexpr qint64 readChunk = 256 * 1024;
constexpr qint64 fileChunk = 256 * 1024;
// Enough queued output to keep the socket busy; beyond it we wait for bytesWritten.
constexpr qint64 writeHighWater = 1024 * 1024;

QByteArray httpDate() {
    return QLocale::c()
               .toString(QDateTime::currentDateTimeUtc(),
                         QStringLiteral("ddd, dd MMM yyyy HH:mm:ss"))
               .toLatin1() +
           " GMT";
}

} // namespace

HttpConnection::HttpConnection(QTcpSocket* socket, HttpRequestHandler* handler, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_handler(handler) {
    m_socket->setParent(this);
    // A bounded read buffer lets TCP flow control hold back a client while we
    // are busy answering, instead of Qt reading its whole upload into memory.
    m_socket->setReadBufferSize(readChunk);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::readSocket);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &HttpConnection::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpConnection::onDisconnected);
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleTimeoutMs);
    connect(&m_idle, &QTimer::timeout, this, [this] { m_socket->abort(); });
    m_idle.start();
    QMetaObject::invokeMethod(this, &HttpConnection::readSocket, Qt::QueuedConnection);
}

HttpConnection::~HttpConnection() {
    m_socket->disconnect(this);
}

void HttpConnection::readSocket() {
    if (m_phase != Phase::head && m_phase != Phase::body) {
        return; // the rest stays in the socket until the current answer is out
    }
    m_idle.start();
    while (m_socket->bytesAvailable() > 0 && (m_phase == Phase::head || m_phase == Phase::body)) {
        if (m_phase == Phase::body && m_buffer.isEmpty()) {
            // Body bytes go straight from the socket to the sink.
            const qint64 want = std::min(m_bodyRemaining, readChunk);
            QByteArray chunk = m_socket->read(want);
            deliverBody(chunk.constData(), chunk.size());
        } else {
            m_buffer.append(m_socket->read(readChunk));
        }
        process();
    }
}

void HttpConnection::process() {
    while (true) {
        if (m_phase == Phase::head) {
            const qsizetype end = m_buffer.indexOf("\r\n\r\n");
            if (end < 0) {
                if (m_buffer.size() > headLimit) {
                    fail(431, "request head too large");
                } else if (m_buffer.startsWith("\r\n")) {
                    m_buffer.remove(0, 2); // stray line breaks between requests are allowed
                    continue;
                }
                return;
            }
            if (end > headLimit) {
                fail(431, "request head too large");
                return;
            }
            if (!startRequest(end)) {
                return;
            }
        } else if (m_phase == Phase::body) {
            if (!m_buffer.isEmpty() && m_bodyRemaining > 0) {
                const qint64 take = std::min<qint64>(m_bodyRemaining, m_buffer.size());
                deliverBody(m_buffer.constData(), take);
                m_buffer.remove(0, take);
                continue;
            }
            return;
        } else {
            return;
        }
    }
}

bool HttpConnection::startRequest(qsizetype headEnd) {
    const QByteArray head = m_buffer.left(headEnd);
    m_buffer.remove(0, headEnd + 4);
    std::optional<HttpRequest> request = HttpRequest::parseHead(head);
    m_clock.start();
    m_exchange = Exchange{};
    m_finished = false;
    if (!request) {
        m_exchange.method = head.left(head.indexOf(' ')).left(16);
        fail(400, "malformed request");
        return false;
    }
    m_request = std::move(*request);
    m_exchange.method = m_request.method;
    m_exchange.target = m_request.target;
    m_keepAlive = m_request.wantsKeepAlive();
    if (m_request.header("transfer-encoding")) {
        fail(411, "a Content-Length is required; chunked bodies are not accepted");
        return false;
    }
    qint64 length = 0;
    for (const auto& [name, value] : m_request.headers) {
        if (name != "content-length") {
            continue;
        }
        bool ok = false;
        const qint64 parsed = value.toLongLong(&ok);
        const bool digits = !value.isEmpty() && std::all_of(value.begin(), value.end(), [](char c) {
            return c >= '0' && c <= '9';
        });
        if (!ok || !digits || (length != 0 && parsed != length)) {
            fail(400, "bad Content-Length");
            return false;
        }
        length = parsed;
    }
    m_request.contentLength = length;
    m_bodyRemaining = length;
    if (length > 0 && m_request.expectsContinue()) {
        m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
    }
    m_sink = m_handler->openBody(m_request, this);
    m_phase = Phase::body;
    if (m_bodyRemaining == 0) {
        deliverBody(nullptr, 0);
    }
    return m_phase == Phase::body || m_phase == Phase::head;
}

void HttpConnection::deliverBody(const char* data, qint64 size) {
    if (size > 0) {
        m_bodyRemaining -= size;
        m_exchange.bytesIn += size;
        if (m_sink) {
            m_sink->write(data, size);
        } else if (!m_request.bodyTooLarge) {
            if (m_request.body.size() + size > memoryBodyLimit) {
                m_request.bodyTooLarge = true;
                m_request.body.clear();
            } else {
                m_request.body.append(data, size);
            }
        }
    }
    if (m_bodyRemaining == 0) {
        m_phase = Phase::handling;
        m_handler->handle(std::move(m_request), std::move(m_sink), this);
    }
}

void HttpConnection::fail(int status, const QByteArray& text) {
    // After a framing error the stream cannot be trusted: answer and close.
    m_keepAlive = false;
    m_phase = Phase::handling;
    respond(HttpResponse::text(status, text));
}

void HttpConnection::respond(HttpResponse response) {
    if (m_phase != Phase::handling) {
        return;
    }
    m_phase = Phase::writing;
    m_exchange.status = response.status;
    if (!response.filePath.isEmpty()) {
        m_file.setFileName(response.filePath);
        if (!m_file.open(QIODevice::ReadOnly)) {
            response = HttpResponse::text(500, "cannot open " + response.filePath.toUtf8() + ": " +
                                                   m_file.errorString().toUtf8());
            m_exchange.status = 500;
        } else {
            m_fileRemaining = response.fileSize;
            writeHead(response, response.fileSize);
            pumpFile();
            return;
        }
    }
    writeHead(response, response.body.size());
    m_socket->write(response.body);
    m_exchange.bytesOut = response.body.size();
    // Finishing is left to bytesWritten, or to the queued call when nothing could be queued;
    // either way never inside the handler that is answering.
    QMetaObject::invokeMethod(this, &HttpConnection::onBytesWritten, Qt::QueuedConnection);
}

void HttpConnection::abort() {
    m_socket->abort();
}

void HttpConnection::writeHead(const HttpResponse& response, qint64 bodySize) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      HttpResponse::reasonPhrase(response.status) + "\r\n";
    head += "Date: " + httpDate() + "\r\n";
    for (const auto& [name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
    }
    head += "Content-Length: " + QByteArray::number(bodySize) + "\r\n";
    if (!m_keepAlive) {
        head += "Connection: close\r\n";
    } else if (m_request.minorVersion == 0) {
        head += "Connection: keep-alive\r\n";
    }
    head += "\r\n";
    m_socket->write(head);
}

void HttpConnection::pumpFile() {
    while (m_fileRemaining > 0 && m_socket->bytesToWrite() < writeHighWater) {
        const QByteArray chunk = m_file.read(std::min(fileChunk, m_fileRemaining));
        if (chunk.isEmpty()) {
            // The file shrank under us; the promised length cannot be kept.
            m_keepAlive = false;
            m_exchange.status = 0;
            m_file.close();
            m_socket->abort();
            return;
        }
        m_socket->write(chunk);
        m_fileRemaining -= chunk.size();
        m_exchange.bytesOut += chunk.size();
    }
}

void HttpConnection::onBytesWritten() {
    m_idle.start();
    if (m_phase != Phase::writing) {
        return;
    }
    if (m_fileRemaining > 0) {
        pumpFile();
        return;
    }
    if (m_socket->bytesToWrite() > 0) {
        return;
    }
    finishExchange();
}

void HttpConnection::finishExchange() {
    m_file.close();
    m_exchange.milliseconds = m_clock.elapsed();
    m_finished = true;
    const Exchange exchange = m_exchange;
    if (m_keepAlive) {
        m_phase = Phase::head;
        m_request = HttpRequest{};
    } else {
        m_phase = Phase::closing;
        m_socket->disconnectFromHost();
    }
    emit exchangeFinished(exchange);
    if (m_phase == Phase::head) {
        // Requests that came in while we were answering are already buffered.
        process();
        QMetaObject::invokeMethod(this, &HttpConnection::readSocket, Qt::QueuedConnection);
    }
}

void HttpConnection::onDisconnected() {
    if (m_phase != Phase::head && m_phase != Phase::closing && !m_finished) {
        m_exchange.status = 0;
        m_exchange.milliseconds = m_clock.elapsed();
        m_finished = true;
        emit exchangeFinished(m_exchange);
    }
    m_phase = Phase::closing;
    m_sink.reset();
    emit closed();
    deleteLater();
}
