#include "common/Symbols.h"

#include <QApplication>
#include <QHash>
#include <QStyle>

namespace Symbols {

QIcon icon(const QString& symbolName) {
    struct Mapping {
        const char* themeName;
        QStyle::StandardPixmap fallback;
    };
    static const QHash<QString, Mapping> mappings = {
        {QStringLiteral("film"), {"video-x-generic", QStyle::SP_MediaPlay}},
        {QStringLiteral("photo"), {"image-x-generic", QStyle::SP_FileIcon}},
        {QStringLiteral("play.rectangle"), {"media-playback-start", QStyle::SP_MediaPlay}},
        {QStringLiteral("tray"), {"mail-inbox", QStyle::SP_DirIcon}},
        {QStringLiteral("gear"), {"preferences-system", QStyle::SP_FileDialogDetailedView}},
        {QStringLiteral("cpu"), {"cpu", QStyle::SP_ComputerIcon}},
        {QStringLiteral("person.circle"), {"avatar-default", QStyle::SP_DirHomeIcon}},
        {QStringLiteral("arrow.down.circle"), {"system-software-update", QStyle::SP_ArrowDown}},
        {QStringLiteral("circle.fill"), {"media-record", QStyle::SP_MediaPlay}},
        {QStringLiteral("list.bullet.rectangle"),
         {"view-list-details", QStyle::SP_FileDialogDetailedView}},
        {QStringLiteral("doc.text"), {"text-x-generic", QStyle::SP_FileIcon}},
        {QStringLiteral("folder"), {"folder", QStyle::SP_DirIcon}},
        {QStringLiteral("exclamationmark.triangle.fill"),
         {"dialog-warning", QStyle::SP_MessageBoxWarning}},
        {QStringLiteral("checkmark.circle.fill"), {"emblem-default", QStyle::SP_DialogApplyButton}},
        {QStringLiteral("xmark.octagon.fill"), {"dialog-error", QStyle::SP_MessageBoxCritical}},
        {QStringLiteral("arrow.clockwise"), {"view-refresh", QStyle::SP_BrowserReload}},
    };
    const auto found = mappings.find(symbolName);
    if (found == mappings.end()) {
        return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    }
    const QIcon themed = QIcon::fromTheme(QLatin1String(found->themeName));
    return themed.isNull() ? QApplication::style()->standardIcon(found->fallback) : themed;
}

} // namespace Symbols
