#pragma once

#include "views/settings/ReplaceTokenSheet.h"

#include <QPointer>
#include <QWidget>

class AccountPaneModel;
class QLabel;
class QProgressBar;
class QPushButton;

// The Account tab: the stored token, masked, with "Replace token…", and a
// connection test of the stored token against the General tab's URL text.
// Rebuilds the masked token from the keyring each time it is shown.
class AccountPane : public QWidget {
    Q_OBJECT

public:
    explicit AccountPane(AccountPaneModel& model, QWidget* parent = nullptr);

    // The replace-token sheet while the model shows it.
    ReplaceTokenSheet* replaceSheet() const { return m_sheet; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showToken();
    void showTest();
    void showSheet();

    AccountPaneModel& m_model;
    QLabel* m_token;
    QPushButton* m_replace;
    QPushButton* m_test;
    QProgressBar* m_testProgress;
    QLabel* m_result;
    QPointer<ReplaceTokenSheet> m_sheet;
};
