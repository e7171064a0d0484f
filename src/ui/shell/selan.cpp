// The year picker: a drop-down of the years the caller offers.

#include "ui/shell/selan.h"

#include "ui/shell/balloon.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vestronia {

SelAn::SelAn(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SelAn"));
    auto *prompt = new QLabel(QStringLiteral("Alegeti anul"), this);
    prompt->setAlignment(Qt::AlignCenter);
    QFont bold = prompt->font();
    bold.setBold(true);
    prompt->setFont(bold);

    m_years = new QComboBox(this);
    m_years->setObjectName(QStringLiteral("AnulC"));
    m_years->setMinimumWidth(120);
    prompt->setBuddy(m_years);

    const FormButtons row = makeFormButtons(this, QStringLiteral("&Am ales"));
    auto *yearRow = new QHBoxLayout;
    yearRow->addStretch();
    yearRow->addWidget(m_years);
    yearRow->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addSpacing(6);
    layout->addLayout(yearRow);
    layout->addSpacing(6);
    layout->addLayout(row.row);
    setMinimumWidth(280);
    installEnterNavigation(this);

    connect(row.memo, &QPushButton::clicked, this, &SelAn::tryAccept);
    connect(row.close, &QPushButton::clicked, this, &QDialog::reject);
}

void SelAn::setYears(const QStringList &years)
{
    m_years->clear();
    m_years->addItems(years);
    m_years->setCurrentIndex(years.isEmpty() ? -1 : 0);
}

bool SelAn::run(const QString &title)
{
    setWindowTitle(title);
    setKeyboardFocus(m_years);
    return exec() == QDialog::Accepted;
}

QString SelAn::year() const
{
    return m_years->currentIndex() < 0 ? QString() : m_years->currentText();
}

void SelAn::tryAccept()
{
    if (year().isEmpty()) {
        showProblem(m_years, QStringLiteral("Nu ati ales niciun an!"));
        return;
    }
    accept();
}

} // namespace vestronia
