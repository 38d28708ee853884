#include "views/menubar/MenuBarStatusIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

QString MenuBarStatusIcon::State::symbolName() const {
    switch (m_kind) {
    case Kind::idle:
        return QStringLiteral("tray");
    case Kind::working:
        return QStringLiteral("tray.full.fill");
    case Kind::errored:
        return QStringLiteral("exclamationmark.triangle.fill");
    }
    return {};
}

std::optional<QString> MenuBarStatusIcon::State::badgeText() const {
    if (m_kind == Kind::working && m_badgeCount >= 1) {
        return QString::number(m_badgeCount);
    }
    return std::nullopt;
}

MenuBarStatusIcon::State MenuBarStatusIcon::iconState(NowTabViewModel::PillKind pillKind,
                                                      qsizetype activeJobs) {
    switch (pillKind) {
    case NowTabViewModel::PillKind::idle:
    case NowTabViewModel::PillKind::paused:
        return State::idle(0);
    case NowTabViewModel::PillKind::working:
        return State::working(static_cast<int>(activeJobs));
    case NowTabViewModel::PillKind::error:
        return State::errored();
    }
    return State::idle(0);
}

namespace {

// Drawn on a 32-unit grid and scaled to the pixmap.
void drawTray(QPainter& painter, bool full) {
    const QColor ink(0xee, 0xee, 0xee);
    QPainterPath tray;
    tray.moveTo(4, 14);
    tray.lineTo(9, 5);
    tray.lineTo(23, 5);
    tray.lineTo(28, 14);
    tray.lineTo(28, 26);
    tray.quadTo(28, 28, 26, 28);
    tray.lineTo(6, 28);
    tray.quadTo(4, 28, 4, 26);
    tray.closeSubpath();
    painter.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(full ? QColor(0x3c, 0xa5, 0x5c) : Qt::transparent);
    painter.drawPath(tray);
    // The tray's lip, where the work drops in.
    QPainterPath lip;
    lip.moveTo(4, 15);
    lip.lineTo(11, 15);
    lip.lineTo(13, 19);
    lip.lineTo(19, 19);
    lip.lineTo(21, 15);
    lip.lineTo(28, 15);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(lip);
}

void drawWarning(QPainter& painter) {
    QPainterPath triangle;
    triangle.moveTo(16, 3);
    triangle.lineTo(30, 28);
    triangle.lineTo(2, 28);
    triangle.closeSubpath();
    painter.setPen(QPen(QColor(0x80, 0x10, 0x10), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(0xe5, 0x3b, 0x2e));
    painter.drawPath(triangle);
    painter.setPen(QPen(Qt::white, 3.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 11), QPointF(16, 19));
    painter.drawPoint(QPointF(16, 24));
}

void drawBadge(QPainter& painter, const QString& text) {
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(text.size() > 1 ? 11 : 13);
    painter.setFont(font);
    const QRectF badge(15, 0, 17, 17);
    painter.setPen(QPen(QColor(0x20, 0x20, 0x20), 1.0));
    painter.setBrush(QColor(0xd9, 0x30, 0x25));
    painter.drawEllipse(badge);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, text);
}

QPixmap draw(const MenuBarStatusIcon::State& state, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);
    if (state.kind() == MenuBarStatusIcon::State::Kind::errored) {
        drawWarning(painter);
    } else {
        drawTray(painter, state.kind() == MenuBarStatusIcon::State::Kind::working);
    }
    if (const std::optional<QString> badge = state.badgeText()) {
        drawBadge(painter, badge->size() > 2 ? QStringLiteral("99+") : *badge);
    }
    return pixmap;
}

} // namespace

QIcon MenuBarStatusIcon::render(const State& state) {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        icon.addPixmap(draw(state, size));
    }
    return icon;
}
