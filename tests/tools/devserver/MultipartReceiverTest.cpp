#include "MultipartReceiver.h"

#include "TestHttpClient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray boundary = "Boundary-0F4C2A10-6C6B-4C53-9E0B-1A2B3C4D5E6F";

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

struct Fed {
    MultipartReceiver::Outcome outcome;
    QStringList filesLeft;
};

// Feeds `body` in pieces of `step` bytes and finishes.
Fed feed(const QTemporaryDir& dir, const QByteArray& body, qsizetype step) {
    QStringList asked;
    MultipartReceiver receiver(boundary, [&](const QString& name) {
        asked.append(name);
        return QDir(dir.path()).filePath("stored-" + name);
    });
    for (qsizetype at = 0; at < body.size(); at += step) {
        receiver.write(body.constData() + at, std::min(step, body.size() - at));
    }
    Fed fed{receiver.finish(), {}};
    fed.filesLeft = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    return fed;
}

} // namespace

// Content that looks like the start of a delimiter must survive every way the
// stream can be cut, including a cut inside the lookalike.
TEST(MultipartReceiver, StoresTheFilePartByteExactWhateverTheChunking) {
    QByteArray content =
        "start\r\n--" + boundary.left(boundary.size() - 1) + "X\r\n--Boundary-\r\n\r\n";
    for (int i = 0; i < 3000; ++i) {
        content += char(i * 7 % 256);
    }
    content += "\r\n--"; // ends right where a delimiter would begin
    const QByteArray body = TestHttpClient::multipartBody(boundary, "output.mov", content);
    for (qsizetype step :
         {qsizetype(1), qsizetype(2), qsizetype(5), qsizetype(49), qsizetype(1024), body.size()}) {
        SCOPED_TRACE(step);
        QTemporaryDir dir;
        const Fed fed = feed(dir, body, step);
        ASSERT_EQ(fed.outcome.error, QString());
        EXPECT_EQ(fed.outcome.fileName, "output.mov");
        EXPECT_EQ(fed.outcome.storedSize, content.size());
        EXPECT_EQ(readAll(fed.outcome.storedPath), content);
        EXPECT_EQ(fed.filesLeft, QStringList{"stored-output.mov"});
    }
}

TEST(MultipartReceiver, ToleratesPreambleEpilogueAndExtraFields) {
    const QByteArray body =
        "preamble text\r\n" + TestHttpClient::multipartHead(boundary, "a.jpg", 3) + "abc" +
        "\r\n--" + boundary + "\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\nhello" +
        TestHttpClient::multipartTail(boundary) + "epilogue";
    QTemporaryDir dir;
    const Fed fed = feed(dir, body, 3);
    ASSERT_EQ(fed.outcome.error, QString());
    EXPECT_EQ(readAll(fed.outcome.storedPath), "abc");
}

TEST(MultipartReceiver, RefusesBadBodiesAndLeavesNoFileBehind) {
    const QByteArray good = TestHttpClient::multipartBody(boundary, "out.mp4", "12345");
    const QByteArray sizeOnly = "--" + boundary +
                                "\r\nContent-Disposition: form-data; name=\"file_size\"\r\n\r\n5" +
                                TestHttpClient::multipartTail(boundary);
    const QByteArray fileOnly =
        "--" + boundary +
        "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"out.mp4\"\r\n\r\n12345" +
        TestHttpClient::multipartTail(boundary);
    struct Case {
        const char* name;
        QByteArray body;
        const char* errorContains;
    };
    const QList<Case> cases = {
        {"declared size larger",
         TestHttpClient::multipartHead(boundary, "out.mp4", 6) + "12345" +
             TestHttpClient::multipartTail(boundary),
         "file_size says 6 bytes but 5 arrived"},
        {"declared size smaller",
         TestHttpClient::multipartHead(boundary, "out.mp4", 0) + "12345" +
             TestHttpClient::multipartTail(boundary),
         "file_size says 0 bytes but 5 arrived"},
        {"size not a number",
         TestHttpClient::multipartHead(boundary, "out.mp4", 5).replace("\r\n5\r\n", "\r\n5x\r\n") +
             "12345" + TestHttpClient::multipartTail(boundary),
         "file_size is not a byte count"},
        {"truncated before the closing boundary", good.left(good.size() - 10),
         "before its closing boundary"},
        {"no file part", sizeOnly, "missing part file"},
        {"no file_size part", fileOnly, "missing part file_size"},
        {"file name that is only a folder", TestHttpClient::multipartBody(boundary, "../", "12345"),
         "no usable filename"},
        {"wrong boundary", TestHttpClient::multipartBody("Boundary-other", "out.mp4", "12345"),
         "before its closing boundary"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const Fed fed = feed(dir, c.body, 4);
        EXPECT_TRUE(fed.outcome.error.contains(QLatin1String(c.errorContains)))
            << fed.outcome.error.toStdString();
        EXPECT_TRUE(fed.filesLeft.isEmpty()) << fed.filesLeft.join(", ").toStdString();
    }
}

TEST(MultipartReceiver, KeepsOnlyTheLastPathComponentOfTheUploadedName) {
    QTemporaryDir dir;
    const Fed fed =
        feed(dir, TestHttpClient::multipartBody(boundary, "../../etc\\evil/preview.mp4", "x"), 64);
    ASSERT_EQ(fed.outcome.error, QString());
    EXPECT_EQ(fed.outcome.fileName, "preview.mp4");
    EXPECT_EQ(fed.filesLeft, QStringList{"stored-preview.mp4"});
}

TEST(MultipartReceiver, ReadsTheBoundaryFromTheContentType) {
    EXPECT_EQ(
        MultipartReceiver::boundaryFromContentType("multipart/form-data; boundary=" + boundary),
        boundary);
    EXPECT_EQ(MultipartReceiver::boundaryFromContentType(
                  "Multipart/Form-Data; charset=x; boundary=\"a;b\""),
              "a;b");
    EXPECT_FALSE(MultipartReceiver::boundaryFromContentType("application/json"));
    EXPECT_FALSE(MultipartReceiver::boundaryFromContentType("multipart/form-data"));
    EXPECT_FALSE(MultipartReceiver::boundaryFromContentType("multipart/form-data; boundary=" +
                                                            QByteArray(71, 'a')));
}
