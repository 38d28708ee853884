#include "login/LoginItemController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Status = LoginItemController::Status;
using LoginItemError = LoginItemController::LoginItemError;

const QString executable = QStringLiteral("/opt/kestrel/bin/kestrel-worker");

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

QByteArray execLine(const QByteArray& contents) {
    for (const QByteArray& line : contents.split('\n')) {
        if (line.startsWith("Exec=")) {
            return line.mid(5);
        }
    }
    return {};
}

class LoginItemTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }

    QString autostart() const { return home.path() + QStringLiteral("/autostart"); }
    QString entry() const {
        return autostart() + QStringLiteral("/com.talmark.KestrelWorker.desktop");
    }

    QTemporaryDir home;
};

TEST_F(LoginItemTest, DefaultFolderFollowsXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    LoginItemController controller(executable);
    qputenv("XDG_CONFIG_HOME", saved);
    EXPECT_EQ(controller.entryPath(), entry());
}

TEST_F(LoginItemTest, RegistersAnEntryStartingTheExecutable) {
    LoginItemController controller(executable, autostart());
    EXPECT_EQ(controller.status(), Status::notRegistered);

    controller.reconcile(true);

    const QByteArray contents = readFile(entry());
    EXPECT_TRUE(contents.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(contents.contains("\nType=Application\n"));
    EXPECT_TRUE(contents.contains("\nName=Kestrel Worker\n"));
    EXPECT_EQ(execLine(contents), executable.toUtf8());
    EXPECT_FALSE(contents.contains("Hidden"));
    EXPECT_EQ(controller.status(), Status::enabled);
}

// The Exec value must survive the desktop-entry quoting and string escapes.
TEST_F(LoginItemTest, ExecOfAnAwkwardPathIsQuotedAndEscaped) {
    struct Case {
        QString path;
        QByteArray exec;
    };
    const Case cases[] = {
        {QStringLiteral("/opt/Kestrel Worker/kestrel-worker"),
         "\"/opt/Kestrel Worker/kestrel-worker\""},
        {QStringLiteral("/opt/100%/kw"), "/opt/100%%/kw"},
        {QStringLiteral("/opt/a$b/kw"), "\"/opt/a\\\\$b/kw\""},
        {QStringLiteral("/opt/back\\slash/kw"), "\"/opt/back\\\\\\\\slash/kw\""},
        {QStringLiteral("/opt/say \"hi\"/kw"), "\"/opt/say \\\\\"hi\\\\\"/kw\""},
    };
    for (const Case& c : cases) {
        QFile::remove(entry());
        LoginItemController(c.path, autostart()).reconcile(true);
        EXPECT_EQ(execLine(readFile(entry())), c.exec) << c.path.toStdString();
    }
}

TEST_F(LoginItemTest, AlreadyEnabledEntryIsLeftUntouched) {
    const QByteArray own = "[Desktop Entry]\nType=Application\nExec=/elsewhere/kw --flag\n";
    writeFile(entry(), own);
    const QDateTime modified = QFileInfo(entry()).lastModified();

    LoginItemController controller(executable, autostart());
    EXPECT_EQ(controller.status(), Status::enabled);
    controller.reconcile(true);

    EXPECT_EQ(readFile(entry()), own);
    EXPECT_EQ(QFileInfo(entry()).lastModified(), modified);
}

TEST_F(LoginItemTest, StatusReadsHiddenOnlyFromTheMainGroup) {
    struct Case {
        const char* contents;
        Status expected;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nExec=kw\nHidden=true\n", Status::notRegistered},
        {"[Desktop Entry]\nHidden = true\nExec=kw\n", Status::notRegistered},
        {"[Desktop Entry]\nExec=kw\nHidden=false\n", Status::enabled},
        {"[Desktop Entry]\n#Hidden=true\nExec=kw\n", Status::enabled},
        {"[Desktop Entry]\nExec=kw\n[Desktop Action x]\nHidden=true\n", Status::enabled},
        {"", Status::enabled},
    };
    LoginItemController controller(executable, autostart());
    for (const Case& c : cases) {
        writeFile(entry(), c.contents);
        EXPECT_EQ(controller.status(), c.expected) << c.contents;
    }
}

TEST_F(LoginItemTest, HiddenEntryIsReplacedWhenWantedAndKeptWhenNot) {
    const QByteArray hidden = "[Desktop Entry]\nExec=/old/kw\nHidden=true\n";
    writeFile(entry(), hidden);
    LoginItemController controller(executable, autostart());

    controller.reconcile(false); // already not enabled: nothing to do
    EXPECT_EQ(readFile(entry()), hidden);

    controller.reconcile(true);
    EXPECT_EQ(controller.status(), Status::enabled);
    EXPECT_EQ(execLine(readFile(entry())), executable.toUtf8());
}

TEST_F(LoginItemTest, UnregisterRemovesTheEntry) {
    LoginItemController controller(executable, autostart());
    controller.reconcile(true);
    ASSERT_TRUE(QFileInfo::exists(entry()));

    controller.reconcile(false);
    EXPECT_FALSE(QFileInfo::exists(entry()));
    EXPECT_EQ(controller.status(), Status::notRegistered);
}

TEST_F(LoginItemTest, UnregisterWhenAbsentDoesNothing) {
    LoginItemController controller(executable, autostart());
    EXPECT_NO_THROW(controller.reconcile(false));
    EXPECT_FALSE(QFileInfo::exists(autostart()));
}

// Permissions do not stop root, so the folder is made unusable by a file
// standing where it should be.
TEST_F(LoginItemTest, UnwritableFolderFailsWithThePlatformText) {
    writeFile(autostart(), "not a folder");
    LoginItemController controller(executable, autostart());
    try {
        controller.reconcile(true);
        FAIL() << "registration succeeded";
    } catch (const LoginItemError& error) {
        EXPECT_EQ(error.kind(), LoginItemError::Kind::registrationFailed);
        EXPECT_TRUE(error.text().contains(autostart())) << error.text().toStdString();
        EXPECT_FALSE(error.text().endsWith(QStringLiteral(": "))) << error.text().toStdString();
        EXPECT_TRUE(error.description().contains(error.text()));
    }
    EXPECT_EQ(readFile(autostart()), QByteArray("not a folder"));
}

// A folder under the entry's name cannot be removed as a file; the folder is
// present, so it counts as registered and unregistering is attempted.
TEST_F(LoginItemTest, RemovalFailureFailsWithThePlatformText) {
    ASSERT_TRUE(QDir().mkpath(entry() + QStringLiteral("/inside")));
    LoginItemController controller(executable, autostart());
    ASSERT_EQ(controller.status(), Status::enabled);
    try {
        controller.reconcile(false);
        FAIL() << "unregistration succeeded";
    } catch (const LoginItemError& error) {
        EXPECT_EQ(error.kind(), LoginItemError::Kind::registrationFailed);
        EXPECT_TRUE(error.text().startsWith(QStringLiteral("cannot remove ") + entry()))
            << error.text().toStdString();
        EXPECT_FALSE(error.text().endsWith(QStringLiteral(": "))) << error.text().toStdString();
    }
    EXPECT_TRUE(QFileInfo(entry()).isDir());
}

} // namespace
