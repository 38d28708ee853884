#include "views/history/JobLogSheet.h"

#include "common/Fonts.h"
#include "views/log/LogTextStyle.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>
#include <memory>

JobLogSheet::JobLogSheet(QString jobID, QString logDirectory, QWidget* parent)
    : QDialog(parent)
    , m_model(std::move(jobID), std::move(logDirectory))
    , m_content(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("jobLog.sheet"));
    setWindowTitle(m_model.title());
    setMinimumSize(700, 480);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* header = new QHBoxLayout();
    const int padding = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
    header->setContentsMargins(padding, padding, padding, padding);
    auto* title = new QLabel(m_model.title(), this);
    title->setObjectName(QStringLiteral("jobLog.title"));
    title->setFont(Fonts::headline());
    title->setTextFormat(Qt::PlainText);
    title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    header->addWidget(title, 0, Qt::AlignVCenter);
    header->addStretch(1);
    // Escape rejects the dialog as well.
    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setObjectName(QStringLiteral("jobLog.doneButton"));
    done->setAutoDefault(false);
    header->addWidget(done, 0, Qt::AlignVCenter);
    layout->addLayout(header);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);

    m_content->setObjectName(QStringLiteral("jobLog.content"));
    m_content->setAccessibleName(QStringLiteral("Log lines"));
    m_content->setReadOnly(true);
    m_content->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_content->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_content->setFrameShape(QFrame::NoFrame);
    m_content->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_content->setFont(LogTextStyle::font());
    m_content->document()->setDocumentMargin(12);
    QPalette page = m_content->palette();
    page.setColor(QPalette::Base, LogTextStyle::background(palette()));
    m_content->setPalette(page);
    m_content->setPlainText(m_model.content());
    layout->addWidget(m_content, 1);

    connect(done, &QPushButton::clicked, this, &QDialog::reject);
}

QString JobLogSheet::content() const {
    return m_content->toPlainText();
}

void JobLogSheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_loadStarted) {
        m_loadStarted = true;
        loadLines();
    }
}

void JobLogSheet::loadLines() {
    // Two weeks of day files can be megabytes; read them off the interface
    // thread. The reader works on its own copy and hands the result back.
    auto loaded = std::make_shared<JobLogSheetModel>(m_model);
    QThread* reader = QThread::create([loaded] { loaded->loadLines(); });
    // A sheet closed before the read ends simply never hears of it.
    connect(reader, &QThread::finished, this, [this, loaded] {
        m_model = *loaded;
        m_content->setPlainText(m_model.content());
        emit contentLoaded();
    });
    connect(reader, &QThread::finished, reader, &QObject::deleteLater);
    reader->start();
}
