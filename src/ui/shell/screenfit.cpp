// Sizing a window to the available geometry of its screen (the area without panels and
// task bars), keeping the frame inside it.

#include "ui/shell/screenfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vestronia {

void fitToScreen(QWidget *window)
{
    if (!window)
        return;
    QScreen *screen = nullptr;
    if (QWidget *parent = window->parentWidget())
        screen = parent->screen();
    if (!screen)
        screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // Room for the title bar and borders the window manager adds.
    const QSize frame = window->frameGeometry().size() - window->geometry().size();
    const QSize decoration(qMax(frame.width(), 8), qMax(frame.height(), 32));
    const QSize room = area.size() - decoration;
    QSize size = window->size().expandedTo(window->minimumSizeHint()).boundedTo(room);
    if (window->minimumWidth() > room.width() || window->minimumHeight() > room.height())
        window->setMinimumSize(window->minimumSize().boundedTo(room));
    if (window->maximumWidth() < size.width() || window->maximumHeight() < size.height())
        size = size.boundedTo(window->maximumSize());
    window->resize(size);
    const QRect wanted(QPoint(0, 0), size + decoration);
    QRect placed = wanted;
    placed.moveCenter(area.center());
    placed.moveTopLeft(QPoint(qMax(placed.left(), area.left()), qMax(placed.top(), area.top())));
    window->move(placed.topLeft());
}

} // namespace vestronia
