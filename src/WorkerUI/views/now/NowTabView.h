#pragma once

#include <QHash>
#include <QWidget>

class ActiveJobCard;
class NowTabViewModel;
class QLabel;
class QPushButton;
class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

// The Now tab: the engine's pill, Start/Pause/Resume and Disconnect, and one
// card per job in flight. Holds no state of its own beyond the cards.
class NowTabView : public QWidget {
    Q_OBJECT

public:
    explicit NowTabView(NowTabViewModel& viewModel, QWidget* parent = nullptr);

private:
    void showStatus();
    void showJobs();

    NowTabViewModel& m_viewModel;
    QWidget* m_pill;
    QLabel* m_pillDot;
    QLabel* m_pillText;
    QPushButton* m_mainButton;
    QPushButton* m_disconnect;
    QStackedWidget* m_content;
    QLabel* m_emptyDescription;
    QWidget* m_cardsHost;
    QVBoxLayout* m_cardsLayout;
    QHash<QString, ActiveJobCard*> m_cards;
};
