#pragma once
// Pictures of the shell windows, from the desktop's icon theme with the widget style's
// standard pictures as fall-back (a bare X server has no theme configured).

#include <QIcon>
#include <QStyle>

namespace vestronia {

QIcon themeIcon(const char *name, QStyle::StandardPixmap fallback = QStyle::SP_FileIcon);

} // namespace vestronia
