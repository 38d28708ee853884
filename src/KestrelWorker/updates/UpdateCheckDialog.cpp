#include "updates/UpdateCheckDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

UpdateCheckDialog::UpdateCheckDialog(const UpdateCheckResult& result, QWidget* parent)
    : QDialog(parent)
    , m_message(new QLabel(this))
    , m_detail(new QLabel(this)) {
    setObjectName(QStringLiteral("updates.checkDialog"));
    setWindowTitle(QStringLiteral("Software Update"));
    m_message->setObjectName(QStringLiteral("updates.checkDialog.message"));
    m_detail->setObjectName(QStringLiteral("updates.checkDialog.detail"));
    QFont bold = m_message->font();
    bold.setBold(true);
    m_message->setFont(bold);
    m_message->setTextFormat(Qt::PlainText);
    m_detail->setWordWrap(true);

    switch (result.kind()) {
    case UpdateCheckResult::Kind::upToDate:
        m_message->setText(QStringLiteral("Kestrel Worker is up to date."));
        m_detail->setTextFormat(Qt::PlainText);
        m_detail->setText(
            QStringLiteral("Version %1 is the newest version available.").arg(result.version()));
        break;
    case UpdateCheckResult::Kind::updateAvailable: {
        m_message->setText(
            QStringLiteral("Kestrel Worker version %1 is available.").arg(result.version()));
        // The feed's text is escaped; only the link itself is markup.
        const QString href = QString::fromUtf8(result.downloadURL().toEncoded()).toHtmlEscaped();
        m_detail->setObjectName(QStringLiteral("updates.checkDialog.downloadLink"));
        m_detail->setTextFormat(Qt::RichText);
        m_detail->setTextInteractionFlags(Qt::TextBrowserInteraction);
        m_detail->setOpenExternalLinks(true);
        m_detail->setText(QStringLiteral("<a href=\"%1\">Download version %2</a>")
                              .arg(href, result.version().toHtmlEscaped()));
        break;
    }
    case UpdateCheckResult::Kind::failed:
        m_message->setText(QStringLiteral("The update check failed."));
        m_detail->setTextFormat(Qt::PlainText);
        m_detail->setText(result.errorText());
        break;
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(m_detail);
    layout->addWidget(buttons);
}

void UpdateCheckDialog::present(const UpdateCheckResult& result) {
    auto* dialog = new UpdateCheckDialog(result);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

QString UpdateCheckDialog::message() const {
    return m_message->text();
}

QString UpdateCheckDialog::detail() const {
    return m_detail->text();
}
