#pragma once

#include <QWidget>

class OnboardingViewModel;
class QLineEdit;

// The worker's name (editable) and its ID (shown only).
class IdentityStep : public QWidget {
    Q_OBJECT

public:
    explicit IdentityStep(OnboardingViewModel& viewModel, QWidget* parent = nullptr);

private:
    void showName();

    OnboardingViewModel& m_viewModel;
    QLineEdit* m_name;
};
