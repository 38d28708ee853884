#pragma once

#include <QDateTime>
#include <QWidget>
#include <optional>

class ElidedLabel;
class QCheckBox;
class QLabel;
class QPushButton;
class UpdaterServicing;

// The Updates tab: the update service's two automatic flags, written through at
// once, when it last checked, its feed, and a manual check. Reads every member
// again whenever the service announces a change and whenever it is shown.
class UpdatesPane : public QWidget {
    Q_OBJECT

public:
    explicit UpdatesPane(UpdaterServicing& service, QWidget* parent = nullptr);

    // "Never", or the date and time in the locale's short forms.
    static QString lastCheckText(const std::optional<QDateTime>& date);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showService();

    UpdaterServicing& m_service;
    QCheckBox* m_automaticChecks;
    QCheckBox* m_automaticDownloads;
    QLabel* m_lastCheck;
    ElidedLabel* m_feed;
    QLabel* m_displayName;
    QPushButton* m_checkNow;
};
