#pragma once
// Pictures of the shell windows, from the desktop's icon theme with the widget style's
// standard pictures as fall-back (a bare X server has no theme configured).

#include <QIcon>
#include <QStyle>

namespace vestronia {

QIcon themeIcon(const char *name, QStyle::StandardPixmap fallback = QStyle::SP_FileIcon);
// The icon as one picture of exactly size x size pixels (themes carry some pictures only
// in smaller sizes, which would otherwise be drawn small).
QIcon sizedIcon(const QIcon &icon, int size);

} // namespace vestronia
