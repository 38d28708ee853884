#pragma once

#include <QWidget>

class QCheckBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class SaveRow;
class SettingsBinding;

// The General tab: identity, server URL and launch behaviour, edited in the
// shared draft and stored by Save.
class GeneralPane : public QWidget {
    Q_OBJECT

public:
    explicit GeneralPane(SettingsBinding& binding, QWidget* parent = nullptr);

private:
    void showDraft();
    void showServerURL();

    SettingsBinding& m_binding;
    QLineEdit* m_workerName;
    QLabel* m_workerID;
    QLineEdit* m_serverURL;
    QLabel* m_hint;
    QFormLayout* m_serverSection = nullptr;
    QCheckBox* m_autoStart;
    QCheckBox* m_launchAtLogin;
    QCheckBox* m_hideDock;
    SaveRow* m_saveRow;
};
