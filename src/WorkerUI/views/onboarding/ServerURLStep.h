#pragma once

#include <QWidget>

class OnboardingViewModel;
class QLabel;
class QLineEdit;

// The server URL field, with the hint while the text is not a usable URL.
class ServerURLStep : public QWidget {
    Q_OBJECT

public:
    explicit ServerURLStep(OnboardingViewModel& viewModel, QWidget* parent = nullptr);

private:
    void showURL();

    OnboardingViewModel& m_viewModel;
    QLineEdit* m_field;
    QLabel* m_hint;
};
