#include "ApiTestFixture.h"
#include "api/APIError.h"
#include "async/FileSystemError.h"

#include <QFile>
#include <QRegularExpression>

namespace {

QString writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

// The multipart layout written out by hand, line by line.
QByteArray expectedBody(const QByteArray& boundary, const QByteArray& name,
                        const QByteArray& content) {
    return "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=\"file_size\"\r\n" +
           "\r\n" + QByteArray::number(content.size()) + "\r\n" + "--" + boundary + "\r\n" +
           "Content-Disposition: form-data; name=\"file\"; filename=\"" + name + "\"\r\n" +
           "Content-Type: application/octet-stream\r\n" + "\r\n" + content + "\r\n" + "--" +
           boundary + "--\r\n";
}

QByteArray boundaryOf(const RecordedRequest& request) {
    const QByteArray type = request.header("Content-Type");
    const QByteArray prefix = "multipart/form-data; boundary=";
    EXPECT_TRUE(type.startsWith(prefix)) << type.toStdString();
    return type.mid(prefix.size());
}

} // namespace

class UploadTest : public ApiTestFixture {};

TEST_F(UploadTest, BodyIsTheMultipartLayoutByteForByte) {
    answer(200, R"({"s3_key":"outputs/j1/output.mov","file_size":11})");
    QByteArray content("binary\0\r\nok", 11);
    const QString path = writeFile(temp.filePath("output.mov"), content);

    const UploadResult result = kwtest::runTask(client().uploadOutput("j1", path));
    EXPECT_EQ(result, (UploadResult{"outputs/j1/output.mov", 11}));

    ASSERT_EQ(server.requests().size(), 1);
    const RecordedRequest& r = server.requests().first();
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.target, "/api/workers/jobs/j1/upload/");
    EXPECT_EQ(r.header("Authorization"), "Worker tok-123");
    const QByteArray boundary = boundaryOf(r);
    EXPECT_TRUE(QRegularExpression(
                    "^Boundary-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
                    .match(QString::fromLatin1(boundary))
                    .hasMatch())
        << boundary.toStdString();
    EXPECT_EQ(r.body, expectedBody(boundary, "output.mov", content));
    EXPECT_EQ(r.body.count(boundary), 3);
    EXPECT_EQ(r.header("Content-Length").toLongLong(), r.body.size());
}

TEST_F(UploadTest, EmptyFileStillHasBothParts) {
    answer(200, R"({"s3_key":"k","file_size":0})");
    const QString path = writeFile(temp.filePath("thumbnail.jpg"), {});
    kwtest::runTask(client().uploadOutput("j", path));
    const RecordedRequest& r = server.requests().first();
    EXPECT_EQ(r.body, expectedBody(boundaryOf(r), "thumbnail.jpg", {}));
    EXPECT_TRUE(r.body.contains("\r\n\r\n0\r\n"));
}

TEST_F(UploadTest, EachUploadHasAFreshBoundary) {
    answer(200, R"({"s3_key":"k","file_size":3})");
    const QString path = writeFile(temp.filePath("preview.mp4"), "abc");
    kwtest::runTask(client().uploadOutput("j", path));
    kwtest::runTask(client().uploadOutput("j", path));
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_NE(boundaryOf(server.requests()[0]), boundaryOf(server.requests()[1]));
}

TEST_F(UploadTest, ResponseMissingKeysIsMalformedNamingTheKey) {
    const QString path = writeFile(temp.filePath("output.mov"), "x");
    const QList<QPair<QByteArray, QString>> cases{
        {R"({"file_size":1})", "s3_key"},
        {R"({"s3_key":"k"})", "file_size"},
        {R"({"s3_key":"k","file_size":"1"})", "file_size"},
        {R"({"s3_key":"k","file_size":1.5})", "file_size"},
    };
    for (const auto& [body, key] : cases) {
        answer(200, body);
        const QString text = failureText(client().uploadOutput("j", path));
        EXPECT_TRUE(text.startsWith("Malformed response: ")) << text.toStdString();
        EXPECT_TRUE(text.contains(key)) << text.toStdString();
    }
}

TEST_F(UploadTest, LargeSizesSurviveAsIntegers) {
    answer(200, R"({"s3_key":"k","file_size":9007199254740993})");
    const QString path = writeFile(temp.filePath("output.mov"), "x");
    EXPECT_EQ(kwtest::runTask(client().uploadOutput("j", path)).fileSize, 9007199254740993LL);
}

TEST_F(UploadTest, MissingFileFailsBeforeAnyRequest) {
    answer(200, R"({"s3_key":"k","file_size":1})");
    EXPECT_THROW(kwtest::runTask(client().uploadOutput("j", temp.filePath("absent.mov"))),
                 FileSystemError);
    EXPECT_TRUE(server.requests().isEmpty());
}
