#pragma once

#include "HttpBodySink.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <functional>
#include <optional>

// Parses a multipart/form-data upload while it streams in: the "file" part goes
// straight to disk, the "file_size" field is kept, anything else is skipped.
// The stored file only appears under its final name once the whole body has
// arrived and the declared size matched what came.
class MultipartReceiver : public HttpBodySink {
public:
    struct Outcome {
        QString error; // empty on success
        QString fileName;
        QString storedPath;
        qint64 storedSize = 0;
    };

    // destinationFor maps the uploaded file's name (already reduced to a safe
    // last path component) to the path it is stored at.
    MultipartReceiver(QByteArray boundary, std::function<QString(const QString&)> destinationFor);

    void write(const char* data, qint64 size) override;
    Outcome finish();

    static std::optional<QByteArray> boundaryFromContentType(const QByteArray& contentType);
    // The uploaded name's last path component, or none when nothing usable is left.
    static std::optional<QString> safeFileName(const QString& name);

private:
    enum class State { preamble, afterDelimiter, headers, body, done, error };
    enum class Part { ignored, fileSize, file };

    void process();
    void startPart(const QByteArray& headerBlock);
    void partData(const char* data, qsizetype size);
    void endPart();
    void setError(const QString& message);

    QByteArray m_delimiter; // CR LF "--" boundary
    std::function<QString(const QString&)> m_destinationFor;
    State m_state = State::preamble;
    Part m_part = Part::ignored;
    QByteArray m_pending;
    QByteArray m_headerBlock;
    QByteArray m_sizeText;
    bool m_sawSize = false;
    bool m_sawFile = false;
    QString m_fileName;
    QSaveFile m_out;
    qint64 m_fileBytes = 0;
    QString m_error;
};
