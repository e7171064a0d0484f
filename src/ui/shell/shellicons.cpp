// Theme icons with a fall-back theme and a style picture when the theme lacks them.

#include "ui/shell/shellicons.h"

#include <QApplication>

namespace vestronia {

QIcon themeIcon(const char *name, QStyle::StandardPixmap fallback)
{
    // A bare X server or the offscreen platform names no theme (or only "hicolor", which
    // has no action icons); a desktop session names its own and is left alone.
    static const bool themeChosen = [] {
        const QString current = QIcon::themeName();
        if (current.isEmpty() || current == QLatin1String("hicolor"))
            QIcon::setThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    Q_UNUSED(themeChosen);
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(fallback);
    return icon;
}

QIcon sizedIcon(const QIcon &icon, int size)
{
    const QPixmap pm = icon.pixmap(QSize(48, 48).expandedTo(QSize(size, size)));
    return QIcon(pm.scaled(QSize(size, size), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

} // namespace vestronia
