// The cash book window over the cash book services; printing goes through the period
// picker and the progress window.

#include "ui/collections/regcasaf.h"

#include "collections/cashbook.h"
#include "documents/cashbookprint.h"
#include "reports/opendocument.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/session.h"
#include "store/database.h"
#include "ui/collections/regcasachitplataf.h"
#include "ui/shell/panelgrid.h"
#include "ui/shell/contor.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/perselect.h"
#include "ui/shell/screenfit.h"

#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace vestronia {

namespace {

QVector<GridColumn> bookColumns()
{
    return {GridColumn::plain(QStringLiteral("Tip document"), QStringLiteral("DOCJUS")),
            GridColumn::plain(QStringLiteral("Seia"), QStringLiteral("DOCSERIA")),
            GridColumn::number(QStringLiteral("Numar"), QStringLiteral("DOCNR")),
            twinDay(QStringLiteral("Din data"), QStringLiteral("DOCDATA")),
            GridColumn::plain(QStringLiteral("Platitor"), QStringLiteral("NUME")),
            GridColumn::money(QStringLiteral("Incasat"), QStringLiteral("INCASAT")),
            GridColumn::money(QStringLiteral("Platit"), QStringLiteral("PLATIT")),
            GridColumn::plain(QStringLiteral("Reprezentand"), QStringLiteral("REPREZ"))};
}

QLabel *figure(QWidget *parent, const QString &name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(name);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

} // namespace

RegCasaF::RegCasaF(Database &db, const Session &session, QWidget *parent) : QDialog(parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("RegCasaF"));
    setWindowTitle(QStringLiteral("Vestronia"));
    auto *heading = new QLabel(QStringLiteral("Registru de casa"), this);
    heading->setAlignment(Qt::AlignCenter);
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    heading->setFont(bold);

    m_day = new QDateEdit(Clock::today(), this);
    m_day->setObjectName(QStringLiteral("LaData"));
    m_day->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_day->setCalendarPopup(true);
    m_model = new ResultGridModel(bookColumns(), this);
    m_grid = vestronia::grid(this, QStringLiteral("SMDBGrid2"), m_model, {16, 6, 8, 10, 24, 10, 10, 30});
    m_previous = figure(this, QStringLiteral("Label2"));
    m_final = figure(this, QStringLiteral("Label1"));
    m_in = figure(this, QStringLiteral("Label7"));
    m_out = figure(this, QStringLiteral("Label8"));
    m_addPayment = new QPushButton(QStringLiteral("Adauga Plata"), this);
    m_addPayment->setObjectName(QStringLiteral("AddPB"));
    m_addReceipt = new QPushButton(QStringLiteral("Adauga Incasare"), this);
    m_addReceipt->setObjectName(QStringLiteral("AddIB"));
    m_delete = new QPushButton(QStringLiteral("Sterge Linia"), this);
    m_delete->setObjectName(QStringLiteral("DelLB"));
    m_list = new QPushButton(QStringLiteral("&Listeaza"), this);
    m_list->setObjectName(QStringLiteral("ListB"));

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("La data"), this));
    top->addWidget(m_day);
    top->addSpacing(24);
    top->addWidget(m_previous);
    top->addStretch(1);
    auto *totals = new QGridLayout;
    totals->addWidget(new QLabel(QStringLiteral("Total incasat"), this), 0, 0);
    totals->addWidget(m_in, 0, 1);
    totals->addWidget(new QLabel(QStringLiteral("Total platit"), this), 0, 2);
    totals->addWidget(m_out, 0, 3);
    totals->addWidget(m_final, 0, 5);
    totals->setColumnStretch(4, 1);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {m_addPayment, m_addReceipt, m_delete, m_list}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(top);
    layout->addWidget(m_grid, 1);
    layout->addLayout(totals);
    layout->addLayout(buttons);
    resize(1100, 600);

    m_entry = new RegCasaChitPlataF(db, session, this);
    m_period = new PerSelect(this);

    connect(m_day, &QDateEdit::dateChanged, this, &RegCasaF::refreshDay);
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, &RegCasaF::updateButtons);
    connect(m_addPayment, &QPushButton::clicked, this, [this] { addLine(true); });
    connect(m_addReceipt, &QPushButton::clicked, this, [this] { addLine(false); });
    connect(m_delete, &QPushButton::clicked, this, &RegCasaF::deleteLine);
    connect(m_list, &QPushButton::clicked, this, &RegCasaF::printBook);
    installEnterNavigation(this); // Enter on a focused button presses it
}

void RegCasaF::prepare()
{
    const bool can = m_session.canModify();
    m_addPayment->setEnabled(can);
    m_addReceipt->setEnabled(can);
    refreshDay();
}

void RegCasaF::run()
{
    prepare();
    fitToScreen(this);
    exec();
    m_model->clear();
}

void RegCasaF::refreshDay()
{
    if (m_refreshing) {
        ++m_requests;
        return;
    }
    m_refreshing = true;
    do {
        m_requests = 0;
        runDayPass();
    } while (m_requests > 0);
    m_refreshing = false;
}

void RegCasaF::runDayPass()
{
    ++m_passes;
    if (m_passHook)
        m_passHook();
    const int day = dayNumberOf(m_day->date());
    try {
        m_model->setResult(cashDayRows(m_db, day));
        const CashDay d = cashDay(m_db, day);
        m_previous->setText(QStringLiteral("Sold precedent : ") + d.previous.toFixed(2));
        m_in->setText(d.in.toFixed(2));
        m_out->setText(d.out.toFixed(2));
        m_final->setText(QStringLiteral("Sold final : ") + d.final().toFixed(2));
    } catch (const VestroniaError &e) {
        m_model->clear();
        mesaj(QStringLiteral("Registru de casa"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
    if (m_model->rowCount() > 0)
        m_grid->setCurrentIndex(m_model->index(0, 0));
    updateButtons();
}

void RegCasaF::updateButtons()
{
    const int row = m_grid->currentIndex().row();
    const bool cashLine = row >= 0 && row < m_model->rowCount() && m_model->result().integer(row, QStringLiteral("IDAB")) == -1;
    m_delete->setEnabled(m_session.canModify() && cashLine);
}

void RegCasaF::addLine(bool payment)
{
    if (!m_entry->run(payment, m_day->date()))
        return;
    refreshDay();
}

void RegCasaF::deleteLine()
{
    const int row = m_grid->currentIndex().row();
    if (row < 0 || row >= m_model->rowCount())
        return;
    const qint64 idchit = m_model->result().integer(row, QStringLiteral("IDCHIT"));
    try {
        if (MaybeRefusal r = checkCashDeletion(m_db, idchit)) {
            mesaj(r->title, r->message, MesajButtons::OK, MesajKind::Eroare);
            return;
        }
        if (mesaj(QStringLiteral("Registru de casa"), cashDeletionQuestion(m_db, idchit), MesajButtons::DaNu,
                  MesajKind::Confirmare) != MesajResult::Da)
            return;
        if (MaybeRefusal r = deleteCashEntry(m_db, m_session, idchit)) {
            mesaj(r->title, r->message, MesajButtons::OK, MesajKind::Eroare);
            return;
        }
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Registru de casa"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    refreshDay();
}

void RegCasaF::printBook()
{
    // The previous calendar month of the day shown.
    const QDate monthBefore = m_day->date().addMonths(-1);
    const QDate from(monthBefore.year(), monthBefore.month(), 1);
    const QDate to(monthBefore.year(), monthBefore.month(), monthBefore.daysInMonth());
    if (!m_period->run(QStringLiteral("Registru de casa"), from, to))
        return;
    try {
        const QString path =
            printCashBook(m_db, m_session, dayNumberOf(m_period->from()), dayNumberOf(m_period->to()), Contor::instance());
        if (!openDocument(path))
            mesaj(QStringLiteral("Registru de casa"), cannotOpenMessage(path), MesajButtons::OK, MesajKind::Eroare);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Registru de casa"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

} // namespace vestronia
