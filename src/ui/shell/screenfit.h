#pragma once
// Every window fits the screen it opens on: a form laid out for a large monitor must
// still show its buttons on a 1366x768 or 1280x720 office laptop.

class QWidget;

namespace vestronia {

// Shrinks the window to the available area of the screen it opens on (its parent's
// screen, else the primary one), never below its minimum size hint where the screen
// allows it, and centres it there. Call just before showing.
void fitToScreen(QWidget *window);

} // namespace vestronia
