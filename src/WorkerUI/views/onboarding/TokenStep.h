#pragma once

#include <QWidget>

class OnboardingViewModel;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The masked token field and the live connection test.
class TokenStep : public QWidget {
    Q_OBJECT

public:
    explicit TokenStep(OnboardingViewModel& viewModel, QWidget* parent = nullptr);

private:
    void showToken();
    void showTest();

    OnboardingViewModel& m_viewModel;
    QLineEdit* m_field;
    QPushButton* m_test;
    QProgressBar* m_progress;
    QLabel* m_result;
};
