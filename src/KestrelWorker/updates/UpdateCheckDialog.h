#pragma once

#include "updates/UpdateCheckResult.h"

#include <QDialog>

class QLabel;

// The window of a finished update check: up to date, a newer version with its
// download link, or what went wrong.
class UpdateCheckDialog final : public QDialog {
    Q_OBJECT

public:
    explicit UpdateCheckDialog(const UpdateCheckResult& result, QWidget* parent = nullptr);

    // Shows a fresh dialog without blocking; it deletes itself when closed.
    // Fits SoftwareUpdateService::Presenter.
    static void present(const UpdateCheckResult& result);

    QString message() const;
    QString detail() const;

private:
    QLabel* m_message;
    QLabel* m_detail;
};
