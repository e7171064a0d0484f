#pragma once
// The button row of every input form: a save button (objectName MemoBut) and "&Renunt"
// (CloseBut), right-aligned. Neither is an auto-default button: Enter in a field moves to
// the next field, and Enter on the last field (or on the focused button) saves, through
// the form's enter navigation.

#include <QString>

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace vestronia {

struct FormButtons
{
    QPushButton *memo;
    QPushButton *close;
    QHBoxLayout *row;
};

FormButtons makeFormButtons(QWidget *form, const QString &memoText = QStringLiteral("&Memoreaza"));

} // namespace vestronia
