// The save / cancel row shared by the input forms.

#include "ui/shell/formbuttons.h"

#include "ui/shell/enternavigation.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace vestronia {

FormButtons makeFormButtons(QWidget *form, const QString &memoText)
{
    auto *memo = new QPushButton(memoText, form);
    memo->setObjectName(QStringLiteral("MemoBut"));
    auto *close = new QPushButton(QStringLiteral("&Renunt"), form);
    close->setObjectName(QStringLiteral("CloseBut"));
    memo->setAutoDefault(false);
    close->setAutoDefault(false);
    setEnterButton(memo);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(memo);
    row->addWidget(close);
    return {memo, close, row};
}

} // namespace vestronia
