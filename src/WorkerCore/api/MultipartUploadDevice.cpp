#include "api/MultipartUploadDevice.h"

#include "async/FileSystemError.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace {
const QByteArray kCrlf = QByteArrayLiteral("\r\n");
}

MultipartUploadDevice::MultipartUploadDevice(const QString& boundary,
                                             const QList<QPair<QString, QString>>& fields,
                                             const QString& fileFieldName, const QString& filePath,
                                             qint64 fileSize, QObject* parent)
    : QIODevice(parent)
    , m_file(filePath)
    , m_fileSize(fileSize) {
    const QByteArray delimiter = "--" + boundary.toUtf8() + kCrlf;
    for (const auto& [name, value] : fields) {
        m_head += delimiter;
        m_head += "Content-Disposition: form-data; name=\"" + name.toUtf8() + "\"" + kCrlf;
        m_head += kCrlf;
        m_head += value.toUtf8() + kCrlf;
    }
    m_head += delimiter;
    m_head += "Content-Disposition: form-data; name=\"" + fileFieldName.toUtf8() +
              "\"; filename=\"" + QFileInfo(filePath).fileName().toUtf8() + "\"" + kCrlf;
    m_head += "Content-Type: application/octet-stream" + kCrlf;
    m_head += kCrlf;
    m_tail = kCrlf + "--" + boundary.toUtf8() + "--" + kCrlf;

    if (!m_file.open(QIODevice::ReadOnly)) {
        throw FileSystemError(QStringLiteral("Cannot read"), filePath, m_file.errorString());
    }
    // Unbuffered: the HTTP layer reads in chunks of its own; a second buffer
    // here would only copy.
    QIODevice::open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 MultipartUploadDevice::size() const {
    return m_head.size() + m_fileSize + m_tail.size();
}

bool MultipartUploadDevice::seek(qint64 pos) {
    if (pos < 0 || pos > size()) {
        return false;
    }
    m_position = pos;
    return QIODevice::seek(pos);
}

bool MultipartUploadDevice::atEnd() const {
    return m_position >= size();
}

qint64 MultipartUploadDevice::readData(char* data, qint64 maxSize) {
    qint64 position = m_position;
    qint64 written = 0;
    const qint64 headEnd = m_head.size();
    const qint64 fileEnd = headEnd + m_fileSize;
    const qint64 total = size();

    while (written < maxSize && position < total) {
        if (position < headEnd) {
            const qint64 n = std::min(maxSize - written, headEnd - position);
            std::memcpy(data + written, m_head.constData() + position, size_t(n));
            written += n;
            position += n;
        } else if (position < fileEnd) {
            const qint64 offset = position - headEnd;
            if (m_file.pos() != offset && !m_file.seek(offset)) {
                setErrorString(m_file.errorString());
                m_position = position;
                return written > 0 ? written : -1;
            }
            const qint64 want = std::min(maxSize - written, fileEnd - position);
            const qint64 got = m_file.read(data + written, want);
            if (got <= 0) {
                // The file shrank or failed under us: the body can no longer
                // match its Content-Length, so the upload must fail.
                setErrorString(got < 0 ? m_file.errorString()
                                       : QStringLiteral("file ended before its recorded size"));
                m_position = position;
                return written > 0 ? written : -1;
            }
            written += got;
            position += got;
        } else {
            const qint64 offset = position - fileEnd;
            const qint64 n = std::min(maxSize - written, qint64(m_tail.size()) - offset);
            std::memcpy(data + written, m_tail.constData() + offset, size_t(n));
            written += n;
            position += n;
        }
    }
    m_position = position;
    return written;
}

QByteArray MultipartUploadDevice::bodyBytes(const QString& boundary,
                                            const QList<QPair<QString, QString>>& fields,
                                            const QString& fileFieldName, const QString& filePath) {
    MultipartUploadDevice device(boundary, fields, fileFieldName, filePath,
                                 QFileInfo(filePath).size());
    return device.readAll();
}
