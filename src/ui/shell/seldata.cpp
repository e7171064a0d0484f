// The deactivation dialog. Its date starts at today when the program starts and then
// keeps the last date chosen, so several accounts stopped together need one choice.

#include "ui/shell/seldata.h"

#include "core/clock.h"
#include "ui/shell/formbuttons.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

namespace {
QDate &lastStopDate()
{
    static QDate date = Clock::today();
    return date;
}
} // namespace

SelData::SelData(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SelData"));
    setWindowTitle(QStringLiteral("Conturi"));

    m_heading = new QLabel(this);
    m_heading->setObjectName(QStringLiteral("Descr"));
    m_heading->setAlignment(Qt::AlignCenter);
    m_heading->setWordWrap(true);
    QFont bold = m_heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    m_heading->setFont(bold);

    auto *line1 = new QLabel(QStringLiteral("Contul este activat si Nu mai poate fi modificat!"), this);
    auto *line2 = new QLabel(QStringLiteral("Puteti doar sa-l dezactivati."), this);
    for (QLabel *l : {line1, line2})
        l->setAlignment(Qt::AlignCenter);

    m_date = new QDateEdit(this);
    m_date->setObjectName(QStringLiteral("DataStop"));
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setCalendarPopup(true);

    const FormButtons row = makeFormButtons(this, QStringLiteral("Dezactivare cont"));
    QPushButton *memo = row.memo;
    QPushButton *close = row.close;

    auto *dateRow = new QHBoxLayout;
    dateRow->addStretch();
    dateRow->addWidget(new QLabel(QStringLiteral("Data dezactivarii"), this));
    dateRow->addWidget(m_date);
    dateRow->addStretch();
    QHBoxLayout *buttons = row.row;
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_heading);
    layout->addWidget(line1);
    layout->addWidget(line2);
    layout->addSpacing(8);
    layout->addLayout(dateRow);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(memo, &QPushButton::clicked, this, [this] {
        lastStopDate() = m_date->date();
        accept();
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void SelData::prepare(const QString &accountName)
{
    m_heading->setText(accountName);
    m_date->setDate(lastStopDate());
}

bool SelData::run(const QString &accountName)
{
    prepare(accountName);
    return exec() == QDialog::Accepted;
}

QDate SelData::date() const
{
    return m_date->date();
}

} // namespace vestronia
