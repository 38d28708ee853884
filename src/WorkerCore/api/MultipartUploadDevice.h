#pragma once

#include <QFile>
#include <QIODevice>
#include <QList>
#include <QPair>

// The multipart/form-data upload body, read straight from disk: the head (the
// fields and the file part's headers), the file's bytes, then the closing
// delimiter. Memory stays flat whatever the file's size. Random access, so the
// HTTP layer can rewind it when it re-sends a request.
class MultipartUploadDevice : public QIODevice {
    Q_OBJECT

public:
    // Throws FileSystemError when the file cannot be opened.
    MultipartUploadDevice(const QString& boundary, const QList<QPair<QString, QString>>& fields,
                          const QString& fileFieldName, const QString& filePath, qint64 fileSize,
                          QObject* parent = nullptr);

    bool isSequential() const override { return false; }
    qint64 size() const override;
    bool seek(qint64 pos) override;
    bool atEnd() const override;

    const QByteArray& head() const { return m_head; }
    const QByteArray& tail() const { return m_tail; }

    // The whole body in memory; for tests of small files only.
    static QByteArray bodyBytes(const QString& boundary,
                                const QList<QPair<QString, QString>>& fields,
                                const QString& fileFieldName, const QString& filePath);

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_head;
    QByteArray m_tail;
    QFile m_file;
    qint64 m_fileSize;
    qint64 m_position = 0;
};
