// The change-log window: the entries in identifier order in a read-only grid, opened on
// the newest one. The log is trimmed to about a thousand entries, so it is read whole.

#include "ui/app/logview.h"
#include "ui/shell/screenfit.h"

#include "core/dates.h"
#include "store/database.h"
#include "ui/shell/mesaj.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vestronia {

LogView::LogView(Database &db, QWidget *parent) : QDialog(parent), m_db(db)
{
    setObjectName(QStringLiteral("LogView"));
    setWindowTitle(QStringLiteral("Istoric modificari date"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);

    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(QStringLiteral("Ultimele actiuni facute in program"), this);
    heading->setObjectName(QStringLiteral("Label1"));
    QFont f = heading->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.2);
    heading->setFont(f);
    layout->addWidget(heading);

    m_grid = new QTableWidget(0, 4, this);
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setHorizontalHeaderLabels(
        {QStringLiteral("Data"), QStringLiteral("Ora"), QStringLiteral("Actiunea"), QStringLiteral("Operator")});
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setAlternatingRowColors(true);
    m_grid->verticalHeader()->setVisible(false);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_grid->setColumnWidth(0, 90);
    m_grid->setColumnWidth(1, 80);
    m_grid->setColumnWidth(3, 170);
    layout->addWidget(m_grid, 1);

    auto *close = new QPushButton(QStringLiteral("&Inchide"), this);
    close->setObjectName(QStringLiteral("InchideB"));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(close);
    layout->addLayout(row);
    resize(860, 520);
}

void LogView::prepare()
{
    m_grid->setRowCount(0);
    ResultSet rows;
    try {
        rows = m_db.select(QStringLiteral("SELECT DATAL, ORA, ACTIUNE, UTILIZATOR FROM Log ORDER BY IDLOG"));
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Istoric modificari date"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    m_grid->setRowCount(rows.rowCount());
    for (int r = 0; r < rows.rowCount(); ++r) {
        const QStringList cells = {dayText(int(rows.integer(r, QStringLiteral("DATAL")))), rows.text(r, QStringLiteral("ORA")),
                                   rows.text(r, QStringLiteral("ACTIUNE")), rows.text(r, QStringLiteral("UTILIZATOR"))};
        for (int c = 0; c < cells.size(); ++c)
            m_grid->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    if (rows.rowCount() > 0) {
        m_grid->setCurrentCell(rows.rowCount() - 1, 0);
        m_grid->selectRow(rows.rowCount() - 1);
        m_grid->scrollToBottom();
    }
}

void LogView::run()
{
    prepare();
    fitToScreen(this);
    exec();
    m_grid->setRowCount(0);
}

} // namespace vestronia
