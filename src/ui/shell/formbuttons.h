#pragma once
// The button row of every input form: a save button (objectName MemoBut) and "&Renunt"
// (CloseBut), right-aligned. Neither is an auto-default button, so Enter in a field moves
// to the next field instead of saving.

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
