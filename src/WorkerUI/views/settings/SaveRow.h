#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class SettingsBinding;

// The last row of the General and Processing tabs: a flexible space and Save
// (Ctrl+Return), which stores the whole shared draft. When the settings could
// not be applied the row says so, in red, until the next Save.
class SaveRow : public QWidget {
    Q_OBJECT

public:
    SaveRow(SettingsBinding& binding, const QString& objectNamePrefix, QWidget* parent = nullptr);

    QPushButton* button() const { return m_save; }

private:
    void save();

    SettingsBinding& m_binding;
    QLabel* m_failure;
    QPushButton* m_save;
};
