#pragma once

#include <QWidget>

class QLabel;

// The last page, above the two finishing buttons. Also says why finishing
// failed, when applying the settings did.
class DoneStep : public QWidget {
    Q_OBJECT

public:
    explicit DoneStep(QWidget* parent = nullptr);

    // Shows "Failed: " and the description in red; an empty text hides it.
    void showFailure(const QString& description);

private:
    QLabel* m_failure;
};
