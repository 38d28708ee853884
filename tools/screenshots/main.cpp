// kestrel-screenshots OUTPUT_DIR — renders every window and tab of the desktop
// application, filled with sample data, to PNG files at their minimum sizes.
#include "ScriptedEngine.h"
#include "app/AboutPanel.h"
#include "config/TokenStoring.h"
#include "history/HistoryTabViewModel.h"
#include "log/LogTabViewModel.h"
#include "logging/LogStore.h"
#include "now/NowTabViewModel.h"
#include "onboarding/ConnectionTester.h"
#include "onboarding/OnboardingViewModel.h"
#include "records/JobHistoryStore.h"
#include "settings/AccountPaneModel.h"
#include "settings/SettingsBinding.h"
#include "updates/UpdaterServicing.h"
#include "views/history/HistoryTabView.h"
#include "views/history/JobLogSheet.h"
#include "views/mainwindow/MainWindow.h"
#include "views/menubar/MenuBarPopoverView.h"
#include "views/menubar/MenuBarStatusIcon.h"
#include "views/onboarding/OnboardingWindow.h"
#include "views/settings/SettingsWindow.h"

#include <QApplication>
#include <QCoroSignal>
#include <QCoroTimer>
#include <QDir>
#include <QMessageBox>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

QString outputDirectory;
int failures = 0;

void save(QWidget& widget, const QString& name) {
    const QString path = outputDirectory + QLatin1Char('/') + name + QStringLiteral(".png");
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++failures;
        return;
    }
    std::printf("%s (%dx%d)\n", qPrintable(path), widget.width(), widget.height());
}

// Lets queued work (deferred loads, layouts) settle before a picture is taken.
QCoro::Task<void> settle(int milliseconds = 50) {
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(milliseconds);
    co_await timer;
}

ActiveJob activeJob(const QString& id, const QString& file, JobRecord::JobType type,
                    JobRecord::State state, int percent, int secondsAgo) {
    ActiveJob job;
    job.id = id;
    job.fileName = file;
    job.jobType = type;
    job.state = state;
    job.percent = percent;
    job.startedAt = QDateTime::currentDateTimeUtc().addSecs(-secondsAgo);
    return job;
}

void fillHistory(JobHistoryStore& history) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    struct Row {
        const char* id;
        const char* file;
        JobRecord::JobType type;
        JobRecord::State state;
        int minutesAgo;
        qint64 seconds;
        qint64 bytes;
        const char* error;
    };
    const Row rows[] = {
        {"8F2C1A70-5D1E-4C1B-9A57-1C9E0B7A3D10", "A001_C004_0312XK.mov", JobRecord::JobType::prores,
         JobRecord::State::completed, 12, 214, 1'843'000'000, nullptr},
        {"1B7E55C2-0A44-4F0D-8E0F-2D6B3C9A7E21", "interview-cam-b.mp4", JobRecord::JobType::preview,
         JobRecord::State::completed, 31, 48, 61'200'000, nullptr},
        {"C3D9A1F4-7B2E-4E6A-A0C8-5F1D2E3B4C32", "drone_pass_03.mov", JobRecord::JobType::thumbnail,
         JobRecord::State::completed, 44, 2, 48'300, nullptr},
        {"5A6B7C8D-9E0F-4A1B-8C2D-3E4F5A6B7C43", "broken-upload.mxf", JobRecord::JobType::prores,
         JobRecord::State::failed, 58, 0, 0, "Job failed: ffmpeg exited with 1"},
        {"9D8C7B6A-5F4E-4D3C-9B2A-1F0E9D8C7B54", "studio_wide_take2.mov",
         JobRecord::JobType::preview, JobRecord::State::encoding, 2, 0, 0, nullptr},
    };
    for (const Row& row : rows) {
        JobRecord record;
        record.id = QString::fromLatin1(row.id);
        record.fileName = QString::fromLatin1(row.file);
        record.jobType = row.type;
        record.state = row.state;
        record.startedAt = now.addSecs(-60 * row.minutesAgo);
        if (!JobRecord::isInFlight(row.state)) {
            record.endedAt = record.startedAt.addSecs(row.seconds + 5);
        }
        if (row.state == JobRecord::State::completed) {
            record.durationSeconds = row.seconds;
            record.outputSizeBytes = row.bytes;
            record.outputS3Key = QStringLiteral("outputs/") + record.id;
        }
        if (row.error) {
            record.errorMessage = QString::fromLatin1(row.error);
        }
        history.insert(record);
    }
}

void fillLog(LogStore& logs) {
    const QString job = QStringLiteral("8F2C1A70-5D1E-4C1B-9A57-1C9E0B7A3D10");
    logs.log(LogEvent::Level::debug, "poll", "claim answered: no job");
    logs.log(LogEvent::Level::info, "job", "Claimed prores job A001_C004_0312XK.mov", job);
    logs.log(LogEvent::Level::info, "job", "Downloading source", job);
    logs.log(LogEvent::Level::debug, "ffmpeg", "encoder prores_aw (no prores_videotoolbox)", job);
    logs.log(LogEvent::Level::warn, "poll", "claim error: Transport error: Connection refused");
    logs.log(LogEvent::Level::info, "poll", "Server reachable again");
    logs.log(LogEvent::Level::info, "job", "Uploaded output.mov (1.8 GB)", job);
    logs.log(LogEvent::Level::error, "job", "Job failed: ffmpeg exited with 1",
             QStringLiteral("5A6B7C8D-9E0F-4A1B-8C2D-3E4F5A6B7C43"));
    logs.log(LogEvent::Level::warn, "recovery", "Marked stale in-flight job as failed",
             QStringLiteral("0F1E2D3C-4B5A-4968-8776-655443322110"));
}

// A stand-in update mechanism with a feed configured and one check done.
class SampleUpdater : public UpdaterServicing {
public:
    bool canCheckForUpdates() const override { return true; }
    std::optional<QDateTime> lastUpdateCheckDate() const override {
        return QDateTime::currentDateTime().addSecs(-3 * 3600);
    }
    std::optional<QUrl> feedURL() const override {
        return QUrl(QStringLiteral("https://updates.example.com/kestrel-worker/appcast.xml"));
    }
    bool automaticChecksEnabled() const override { return m_checks; }
    void setAutomaticChecksEnabled(bool enabled) override { m_checks = enabled; }
    bool automaticDownloadsEnabled() const override { return m_downloads; }
    void setAutomaticDownloadsEnabled(bool enabled) override { m_downloads = enabled; }
    void checkForUpdates() override {}
    QString displayName() const override { return QStringLiteral("Kestrel update feed"); }

private:
    bool m_checks = true;
    bool m_downloads = false;
};

// Answers every connection test with "ok" without a server.
class OKClaimer : public ConnectionTester::Claiming {
public:
    QCoro::Task<ClaimedJob> claim(QUrl, QString) override { co_return ClaimedJob{}; }
};

// Keeps the token in memory: pictures must not touch the operator's keyring.
class MemoryTokenStore : public TokenStoring {
public:
    std::optional<QString> token = QStringLiteral("kst_live_2Qm9c4a81f0e");
    QCoro::Task<std::optional<QString>> readToken() override { co_return token; }
    QCoro::Task<void> saveToken(QString value) override {
        token = value;
        co_return;
    }
    QCoro::Task<void> deleteToken() override {
        token.reset();
        co_return;
    }
};

QCoro::Task<void> render() {
    QTemporaryDir scratch;
    JobHistoryStore history(scratch.filePath("history.sqlite"));
    fillHistory(history);
    LogStore logs(scratch.filePath("logs"), 1000, 14);
    fillLog(logs);
    co_await logs.flush();

    ScriptedEngine engine;
    engine.current = EngineStatus::running(2);
    engine.jobs = {activeJob("9D8C7B6A", "studio_wide_take2.mov", JobRecord::JobType::preview,
                             JobRecord::State::encoding, 47, 95),
                   activeJob("7A7A7A7A", "A002_C011_0313_long_camera_original_name_XK.mov",
                             JobRecord::JobType::prores, JobRecord::State::downloading, 10, 12)};
    NowTabViewModel nowVM(engine, 4);
    HistoryTabViewModel historyVM(history);
    LogTabViewModel logVM(logs, 1000);

    MainWindow window(nowVM, historyVM, logVM, scratch.filePath("logs"), false);
    window.resize(window.minimumSize());
    window.show();
    co_await settle();
    save(window, QStringLiteral("main-now"));
    window.select(MainWindow::Tab::history);
    co_await settle();
    save(window, QStringLiteral("main-history"));
    window.select(MainWindow::Tab::log);
    co_await settle();
    save(window, QStringLiteral("main-log"));
    window.hide();

    JobLogSheet sheet(QStringLiteral("8F2C1A70-5D1E-4C1B-9A57-1C9E0B7A3D10"),
                      scratch.filePath("logs"));
    sheet.resize(sheet.minimumSize());
    sheet.show();
    co_await qCoro(&sheet, &JobLogSheet::contentLoaded, std::chrono::seconds(10));
    co_await settle();
    save(sheet, QStringLiteral("job-log-sheet"));
    sheet.hide();

    // The tray panel, drawn directly (no tray exists offscreen), and the icons.
    MenuBarPopoverView panel(
        nowVM, [] {}, [] {});
    panel.rebuildIfStale();
    panel.adjustSize();
    panel.show();
    co_await settle();
    save(panel, QStringLiteral("tray-panel"));
    panel.hide();
    {
        using State = MenuBarStatusIcon::State;
        const QList<State> states = {State::idle(0), State::working(0), State::working(3),
                                     State::errored()};
        QWidget strip;
        strip.setFixedSize(states.size() * 56 + 8, 64);
        QPixmap pixmap(strip.size());
        pixmap.fill(QColor(0x30, 0x30, 0x34));
        QPainter painter(&pixmap);
        for (int i = 0; i < states.size(); ++i) {
            painter.drawPixmap(12 + i * 56, 8, MenuBarStatusIcon::render(states[i]).pixmap(48));
        }
        painter.end();
        const QString path = outputDirectory + QStringLiteral("/tray-icons.png");
        if (pixmap.save(path)) {
            std::printf("%s\n", qPrintable(path));
        } else {
            ++failures;
        }
    }

    // Onboarding, one picture per step.
    MemoryTokenStore tokens;
    Settings draft = Settings::makeDefault();
    draft.workerName = QStringLiteral("edit-bay-3");
    OnboardingViewModel onboardingVM(draft, tokens, ConnectionTester(std::make_shared<OKClaimer>()),
                                     [](Settings) -> QCoro::Task<void> { co_return; });
    OnboardingWindow onboarding(onboardingVM, [](bool) {});
    onboarding.show();
    // Walked through as an operator would, so each button shows its real state.
    for (const OnboardingViewModel::Step step : OnboardingViewModel::allSteps()) {
        if (step == OnboardingViewModel::Step::serverURL) {
            onboardingVM.setServerURLString(QStringLiteral("https://kestrel.example.com"));
        } else if (step == OnboardingViewModel::Step::token) {
            onboardingVM.setToken(QStringLiteral("kst_live_2Qm9c4a81f0e"));
            co_await onboardingVM.testConnection();
        }
        co_await settle();
        save(onboarding, QStringLiteral("onboarding-%1").arg(static_cast<int>(step) + 1));
        if (onboardingVM.step() != step) {
            std::fprintf(stderr, "onboarding is not at the expected step\n");
            ++failures;
        }
        onboardingVM.next();
    }
    onboarding.hide();

    // Settings, one picture per tab.
    SettingsBinding binding(draft, [](Settings) -> QCoro::Task<void> { co_return; });
    AccountPaneModel account(binding, tokens, ConnectionTester(std::make_shared<OKClaimer>()));
    SampleUpdater updater;
    SettingsWindow settings(binding, account, updater);
    settings.show();
    using Tab = SettingsWindow::Tab;
    const std::pair<Tab, const char*> tabs[] = {{Tab::general, "general"},
                                                {Tab::processing, "processing"},
                                                {Tab::account, "account"},
                                                {Tab::updates, "updates"}};
    for (const auto& [tab, name] : tabs) {
        settings.selectTab(tab);
        co_await settle(100);
        save(settings, QStringLiteral("settings-%1").arg(QLatin1String(name)));
    }
    settings.hide();

    QMessageBox* about = AboutPanel::show(QStringLiteral("/usr/bin/ffmpeg"));
    co_await settle();
    save(*about, QStringLiteral("about"));
    about->close();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrel-screenshots OUTPUT_DIR\n");
        return 2;
    }
    outputDirectory = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(outputDirectory);
    auto run = []() -> QCoro::Task<void> {
        try {
            co_await render();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "screenshots failed: %s\n", error.what());
            ++failures;
        }
        QCoreApplication::exit(failures == 0 ? 0 : 1);
    };
    QTimer::singleShot(0, &app, [&] { run(); });
    return app.exec();
}
