#pragma once

#include <QWidget>

// The first page: what the worker does and where it lives.
class WelcomeStep : public QWidget {
    Q_OBJECT

public:
    explicit WelcomeStep(QWidget* parent = nullptr);
};
