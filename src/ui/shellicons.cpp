// Theme icons with a fall-back theme and a style picture when the theme lacks them.

#include "ui/shellicons.h"

#include <QApplication>

namespace vestronia {

QIcon themeIcon(const char *name, QStyle::StandardPixmap fallback)
{
    static const bool fallbackSet = [] {
        if (QIcon::fallbackThemeName().isEmpty())
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    Q_UNUSED(fallbackSet);
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(fallback);
    return icon;
}

} // namespace vestronia
