#pragma once

#include <QDialog>
#include <functional>
#include <optional>

class AccountPaneModel;
class QLineEdit;
class QPushButton;

// The sheet that takes a new worker token: a masked field bound to the pane's
// newToken, Cancel (Escape) and Save (Return, once something is typed). Each
// presentation calls `onClose` exactly once, with the typed token or none; the
// sheet does not hide itself, the pane dismisses it when the model says so.
// Shown with open(): window-modal, never a nested event loop.
class ReplaceTokenSheet : public QDialog {
    Q_OBJECT

public:
    ReplaceTokenSheet(AccountPaneModel& model, std::function<void(std::optional<QString>)> onClose,
                      QWidget* parent = nullptr);

    // Hides the sheet for good (the model no longer shows it).
    void dismiss();

    // Escape and the window's close button: Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showToken();
    void respond(std::optional<QString> token);

    AccountPaneModel& m_model;
    std::function<void(std::optional<QString>)> m_onClose;
    QLineEdit* m_field;
    QPushButton* m_cancel;
    QPushButton* m_save;
    bool m_closed = false;
};
