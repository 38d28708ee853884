#pragma once

#include <QFileDialog>
#include <QPointer>
#include <QWidget>

class ElidedLabel;
class QPushButton;
class QSpinBox;
class SettingsBinding;

// The Processing tab: concurrency, poll interval and the scratch folder, edited
// in the shared draft and stored by Save.
class ProcessingPane : public QWidget {
    Q_OBJECT

public:
    explicit ProcessingPane(SettingsBinding& binding, QWidget* parent = nullptr);

    // The folder panel last opened, until it is deleted after closing. Opened
    // with open(): window-modal, never a loop of its own.
    QFileDialog* folderPanel() const { return m_folderPanel; }

private:
    void showDraft();
    void chooseFolder();

    SettingsBinding& m_binding;
    QSpinBox* m_concurrency;
    QSpinBox* m_pollInterval;
    ElidedLabel* m_path;
    QPushButton* m_choose;
    QPushButton* m_reset;
    QPointer<QFileDialog> m_folderPanel;
};
