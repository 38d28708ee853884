#include "MultipartReceiver.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QPair>

namespace {

constexpr qsizetype partHeadLimit = 16 * 1024;
constexpr qsizetype sizeFieldLimit = 32;

// Parameters of a header value such as: form-data; name="file"; filename="a.mov"
// Quoted values may hold ';' and backslash escapes. Names are lower-cased.
QList<QPair<QByteArray, QByteArray>> headerParameters(const QByteArray& value, QByteArray* first) {
    QList<QPair<QByteArray, QByteArray>> params;
    qsizetype i = value.indexOf(';');
    *first = (i < 0 ? value : value.left(i)).trimmed().toLower();
    if (i < 0) {
        return params;
    }
    ++i;
    const qsizetype n = value.size();
    while (i < n) {
        while (i < n && (value[i] == ' ' || value[i] == '\t' || value[i] == ';')) {
            ++i;
        }
        const qsizetype nameStart = i;
        while (i < n && value[i] != '=' && value[i] != ';') {
            ++i;
        }
        const QByteArray name = value.mid(nameStart, i - nameStart).trimmed().toLower();
        QByteArray text;
        if (i < n && value[i] == '=') {
            ++i;
            while (i < n && (value[i] == ' ' || value[i] == '\t')) {
                ++i;
            }
            if (i < n && value[i] == '"') {
                ++i;
                while (i < n && value[i] != '"') {
                    if (value[i] == '\\' && i + 1 < n) {
                        ++i;
                    }
                    text += value[i++];
                }
                ++i; // closing quote
                while (i < n && value[i] != ';') {
                    ++i;
                }
            } else {
                const qsizetype start = i;
                while (i < n && value[i] != ';') {
                    ++i;
                }
                text = value.mid(start, i - start).trimmed();
            }
        }
        if (!name.isEmpty()) {
            params.append({name, text});
        }
    }
    return params;
}

} // namespace

MultipartReceiver::MultipartReceiver(QByteArray boundary,
                                     std::function<QString(const QString&)> destinationFor)
    : m_delimiter("\r\n--" + boundary)
    , m_destinationFor(std::move(destinationFor))
    // The first delimiter has no line break before it; pretend one was there.
    , m_pending("\r\n") {}

std::optional<QByteArray>
MultipartReceiver::boundaryFromContentType(const QByteArray& contentType) {
    QByteArray type;
    const auto params = headerParameters(contentType, &type);
    if (type != "multipart/form-data") {
        return std::nullopt;
    }
    for (const auto& [name, value] : params) {
        // RFC 2046: 1 to 70 characters.
        if (name == "boundary" && !value.isEmpty() && value.size() <= 70) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<QString> MultipartReceiver::safeFileName(const QString& name) {
    QString last = name;
    const qsizetype cut = std::max(last.lastIndexOf(u'/'), last.lastIndexOf(u'\\'));
    last = last.mid(cut + 1);
    last.remove(QChar(0));
    if (last.isEmpty() || last == u"." || last == u"..") {
        return std::nullopt;
    }
    return last;
}

void MultipartReceiver::write(const char* data, qint64 size) {
    if (m_state == State::done || m_state == State::error) {
        return;
    }
    m_pending.append(data, size);
    process();
}

void MultipartReceiver::process() {
    while (true) {
        switch (m_state) {
        case State::preamble:
        case State::body: {
            const qsizetype at = m_pending.indexOf(m_delimiter);
            if (at >= 0) {
                if (m_state == State::body) {
                    partData(m_pending.constData(), at);
                    endPart();
                    if (m_state == State::error) {
                        return;
                    }
                }
                m_pending.remove(0, at + m_delimiter.size());
                m_state = State::afterDelimiter;
                continue;
            }
            // Keep a tail that could be the start of a delimiter split across writes.
            const qsizetype keep = m_delimiter.size() - 1;
            if (m_pending.size() > keep) {
                const qsizetype flush = m_pending.size() - keep;
                if (m_state == State::body) {
                    partData(m_pending.constData(), flush);
                }
                m_pending.remove(0, flush);
            }
            return;
        }
        case State::afterDelimiter: {
            qsizetype skip = 0;
            while (skip < m_pending.size() && (m_pending[skip] == ' ' || m_pending[skip] == '\t')) {
                ++skip;
            }
            m_pending.remove(0, skip);
            if (m_pending.size() < 2) {
                return;
            }
            if (m_pending.startsWith("--")) {
                m_state = State::done;
                m_pending.clear();
                return;
            }
            if (!m_pending.startsWith("\r\n")) {
                setError(QStringLiteral("malformed multipart body: junk after a boundary"));
                return;
            }
            // Keep the line break so that an empty header block still ends in CR LF CR LF.
            m_headerBlock = "\r\n";
            m_pending.remove(0, 2);
            m_state = State::headers;
            continue;
        }
        case State::headers: {
            m_headerBlock.append(m_pending);
            m_pending.clear();
            const qsizetype end = m_headerBlock.indexOf("\r\n\r\n");
            if (end < 0) {
                if (m_headerBlock.size() > partHeadLimit) {
                    setError(QStringLiteral("malformed multipart body: part headers too large"));
                }
                return;
            }
            m_pending = m_headerBlock.mid(end + 4);
            const QByteArray block = m_headerBlock.mid(2, end - 2);
            m_headerBlock.clear();
            startPart(block);
            if (m_state == State::error) {
                return;
            }
            m_state = State::body;
            continue;
        }
        case State::done:
        case State::error:
            m_pending.clear();
            return;
        }
    }
}

void MultipartReceiver::startPart(const QByteArray& headerBlock) {
    QByteArray name;
    std::optional<QByteArray> fileName;
    bool sawDisposition = false;
    for (const QByteArray& line : headerBlock.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype colon = trimmed.indexOf(':');
        if (colon <= 0 || trimmed.left(colon).trimmed().toLower() != "content-disposition") {
            continue;
        }
        QByteArray kind;
        const auto params = headerParameters(trimmed.mid(colon + 1), &kind);
        if (kind != "form-data") {
            setError(QStringLiteral("malformed multipart body: part is not form-data"));
            return;
        }
        sawDisposition = true;
        for (const auto& [key, value] : params) {
            if (key == "name") {
                name = value;
            } else if (key == "filename") {
                fileName = value;
            }
        }
    }
    if (!sawDisposition) {
        setError(QStringLiteral("malformed multipart body: part without Content-Disposition"));
        return;
    }
    if (name == "file_size") {
        if (m_sawSize) {
            setError(QStringLiteral("more than one file_size part"));
            return;
        }
        m_sawSize = true;
        m_part = Part::fileSize;
    } else if (name == "file") {
        if (m_sawFile) {
            setError(QStringLiteral("more than one file part"));
            return;
        }
        m_sawFile = true;
        const std::optional<QString> safe =
            fileName ? safeFileName(QString::fromUtf8(*fileName)) : std::nullopt;
        if (!safe) {
            setError(QStringLiteral("the file part has no usable filename"));
            return;
        }
        m_fileName = *safe;
        m_out.setFileName(m_destinationFor(m_fileName));
        if (!m_out.open(QIODevice::WriteOnly)) {
            setError(
                QStringLiteral("cannot store %1: %2").arg(m_out.fileName(), m_out.errorString()));
            return;
        }
        m_part = Part::file;
    } else {
        m_part = Part::ignored;
    }
}

void MultipartReceiver::partData(const char* data, qsizetype size) {
    if (size <= 0) {
        return;
    }
    switch (m_part) {
    case Part::fileSize:
        m_sizeText.append(data, std::min(size, sizeFieldLimit + 1));
        if (m_sizeText.size() > sizeFieldLimit) {
            setError(QStringLiteral("file_size is not a byte count"));
        }
        break;
    case Part::file:
        if (m_out.write(data, size) != size) {
            setError(
                QStringLiteral("cannot store %1: %2").arg(m_out.fileName(), m_out.errorString()));
        }
        m_fileBytes += size;
        break;
    case Part::ignored:
        break;
    }
}

void MultipartReceiver::endPart() {
    m_part = Part::ignored;
}

void MultipartReceiver::setError(const QString& message) {
    if (m_state == State::error) {
        return;
    }
    m_state = State::error;
    m_error = message;
    m_pending.clear();
    if (m_out.isOpen()) {
        m_out.cancelWriting();
    }
}

MultipartReceiver::Outcome MultipartReceiver::finish() {
    Outcome outcome;
    auto failed = [&](const QString& message) {
        setError(message);
        outcome.error = m_error;
        if (m_out.isOpen()) {
            m_out.cancelWriting();
            m_out.commit(); // with writing cancelled this only removes the temporary file
        }
        return outcome;
    };
    if (m_state == State::error) {
        return failed(m_error);
    }
    if (m_state != State::done) {
        return failed(QStringLiteral("multipart body ended before its closing boundary"));
    }
    if (!m_sawSize) {
        return failed(QStringLiteral("missing part file_size"));
    }
    if (!m_sawFile) {
        return failed(QStringLiteral("missing part file"));
    }
    bool ok = false;
    const qint64 declared = m_sizeText.toLongLong(&ok);
    const bool digits =
        !m_sizeText.isEmpty() && std::all_of(m_sizeText.begin(), m_sizeText.end(),
                                             [](char c) { return c >= '0' && c <= '9'; });
    if (!ok || !digits) {
        return failed(QStringLiteral("file_size is not a byte count: \"%1\"")
                          .arg(QString::fromUtf8(m_sizeText.left(sizeFieldLimit))));
    }
    if (declared != m_fileBytes) {
        return failed(QStringLiteral("file_size says %1 bytes but %2 arrived")
                          .arg(declared)
                          .arg(m_fileBytes));
    }
    if (!m_out.commit()) {
        return failed(
            QStringLiteral("cannot store %1: %2").arg(m_out.fileName(), m_out.errorString()));
    }
    outcome.fileName = m_fileName;
    outcome.storedPath = m_out.fileName();
    outcome.storedSize = QFileInfo(outcome.storedPath).size();
    return outcome;
}
