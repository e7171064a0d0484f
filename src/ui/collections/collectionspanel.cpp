// The collections panel: totals with the one-more-pass rule, collection through the
// AddChit dialog with the receipt printed at once, cancellation with its question and
// progress, and the printing of any document.

#include "ui/collections/collectionspanel.h"

#include "collections/cancellation.h"
#include "documents/receipt.h"
#include "reports/opendocument.h"
#include "core/clock.h"
#include "core/error.h"
#include "core/session.h"
#include "store/database.h"
#include "ui/collections/addchit.h"
#include "ui/shell/panelgrid.h"
#include "ui/shell/contor.h"
#include "ui/shell/mesaj.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

namespace vestronia {

namespace {

QVector<GridColumn> collectionColumns()
{
    GridColumn cancelled = GridColumn::plain(QStringLiteral("Anulat"), QStringLiteral("ANULAT"));
    cancelled.color = QColor(Qt::red);
    cancelled.alignment = Qt::AlignCenter;
    return {cancelled,
            GridColumn::plain(QStringLiteral("Document"), QStringLiteral("DOCJUS")),
            GridColumn::plain(QStringLiteral("Seria"), QStringLiteral("DOCSERIA")),
            GridColumn::number(QStringLiteral("Numar"), QStringLiteral("DOCNR")),
            twinDay(QStringLiteral("Din data"), QStringLiteral("DOCDATA")),
            GridColumn::money(QStringLiteral("Incasat"), QStringLiteral("INCASAT")),
            GridColumn::money(QStringLiteral("Platit"), QStringLiteral("PLATIT")),
            GridColumn::plain(QStringLiteral("Reprezentand"), QStringLiteral("REPREZ"))};
}

} // namespace

CollectionsPanel::CollectionsPanel(Database &db, const Session &session, QWidget *parent)
    : QGroupBox(QStringLiteral("INCASARI"), parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("IncasariPanel"));
    prepareReceiptPdf(session);
    m_model = new ResultGridModel(collectionColumns(), this);
    m_grid = vestronia::grid(this, QStringLiteral("SMDBGrid4"), m_model, {3, 12, 5, 7, 10, 8, 8, 12});
    // "Reprezentand" is free text: it takes the width the totals leave, so every column
    // stays in sight on a 1366-pixel screen.
    m_grid->horizontalHeader()->setStretchLastSection(false);
    m_grid->horizontalHeader()->setSectionResizeMode(m_model->columnCount() - 1, QHeaderView::Stretch);
    m_restL = amountLabel(this, QStringLiteral("RestL"));
    m_penalL = amountLabel(this, QStringLiteral("PenalL"));
    m_avansL = amountLabel(this, QStringLiteral("AvansL"));
    m_totalL = amountLabel(this, QStringLiteral("TotalL"));
    QFont totalFont = m_totalL->font();
    totalFont.setBold(true);
    totalFont.setPointSizeF(totalFont.pointSizeF() * 1.2);
    m_totalL->setFont(totalFont);
    auto *totalsBox = new QGroupBox(QStringLiteral("Rest de incasat"), this);
    auto *tl = new QGridLayout(totalsBox);
    tl->addWidget(new QLabel(QStringLiteral("- debit"), totalsBox), 0, 0);
    tl->addWidget(m_restL, 0, 1);
    tl->addWidget(new QLabel(QStringLiteral("- penalitati"), totalsBox), 1, 0);
    tl->addWidget(m_penalL, 1, 1);
    tl->addWidget(new QLabel(QStringLiteral("- avans"), totalsBox), 2, 0);
    tl->addWidget(m_avansL, 2, 1);
    auto *totalCaption = new QLabel(QStringLiteral("TOTAL:"), totalsBox);
    totalCaption->setFont(totalFont);
    tl->addWidget(totalCaption, 3, 0);
    tl->addWidget(m_totalL, 3, 1);
    tl->setRowStretch(4, 1);

    m_add = new QPushButton(QStringLiteral("Adauga &Incasare"), this);
    m_add->setObjectName(QStringLiteral("AddChitB"));
    m_cancel = new QPushButton(QStringLiteral("A&nuleaza Incasare"), this);
    m_cancel->setObjectName(QStringLiteral("AnulChitB"));
    m_list = new QPushButton(QStringLiteral("&Listeaza Document"), this);
    m_list->setObjectName(QStringLiteral("ListChitB"));
    m_fisa = new QPushButton(QStringLiteral("&Fisa abonatului"), this);
    m_fisa->setObjectName(QStringLiteral("FisaB"));
    m_buttons = new QHBoxLayout;
    for (QPushButton *b : {m_add, m_cancel, m_list, m_fisa}) {
        b->setAutoDefault(false);
        m_buttons->addWidget(b);
    }
    m_buttons->addStretch(1);
    auto *cl = new QGridLayout(this);
    cl->addWidget(m_grid, 0, 0);
    cl->addWidget(totalsBox, 0, 1);
    cl->addLayout(m_buttons, 1, 0, 1, 2);
    cl->setColumnStretch(0, 1);

    m_addChit = new AddChit(db, session, parent);

    connect(m_add, &QPushButton::clicked, this, &CollectionsPanel::addCollection);
    connect(m_cancel, &QPushButton::clicked, this, &CollectionsPanel::cancelCollection);
    connect(m_list, &QPushButton::clicked, this, [this] {
        if (const qint64 id = currentDocumentId())
            printDocument(id);
    });
    connect(m_fisa, &QPushButton::clicked, this, [this] {
        const qint64 idab = m_idab;
        if (m_statement && idab >= 0)
            m_statement(idab);
    });
    updateButtons();
}

void CollectionsPanel::setStatementHandler(std::function<void(qint64)> handler)
{
    m_statement = std::move(handler);
    updateButtons();
}

void CollectionsPanel::refreshTotals(const ResultSet &openDebits)
{
    if (m_refreshing) {
        ++m_requests;
        return;
    }
    m_refreshing = true;
    do {
        m_requests = 0;
        runTotalsPass(openDebits);
    } while (m_requests > 0);
    m_refreshing = false;
}

void CollectionsPanel::runTotalsPass(const ResultSet &openDebits)
{
    ++m_passes;
    for (QLabel *l : {m_restL, m_penalL, m_avansL, m_totalL})
        l->setText(QStringLiteral("0"));
    if (m_passHook)
        m_passHook();
    m_totals = computeBalanceTotals(openDebits, Clock::todayDayNumber());
    m_restL->setText(positiveOrZero(m_totals.rest));
    m_penalL->setText(positiveOrZero(m_totals.penalties));
    m_avansL->setText(positiveOrZero(m_totals.advance));
    m_totalL->setText(m_totals.total.toString());
}

qint64 CollectionsPanel::currentDocumentId() const
{
    const int row = m_grid->currentIndex().row();
    if (row < 0 || row >= m_model->rowCount())
        return 0;
    return m_model->result().integer(row, QStringLiteral("IDCHIT"));
}

void CollectionsPanel::updateButtons()
{
    const bool can = m_session.canModify();
    const qint64 idab = m_idab;
    const int row = m_grid->currentIndex().row();
    const bool onRow = row >= 0 && row < m_model->rowCount();
    const bool cancelled = onRow && m_model->result().text(row, QStringLiteral("ANULAT")).trimmed() == QLatin1String("X");
    m_add->setEnabled(can && idab >= 0);
    m_cancel->setEnabled(can && onRow && !cancelled);
    m_list->setEnabled(m_model->rowCount() > 0);
    m_fisa->setEnabled(bool(m_statement) && idab >= 0);
}

void CollectionsPanel::addCollection()
{
    const qint64 idab = m_idab;
    if (idab < 0)
        return;
    try {
        if (!m_addChit->run(idab))
            return;
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Incasare"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    const RecordedCollection r = m_addChit->recorded();
    Q_EMIT debitsChanged(0);
    Q_EMIT collectionsChanged(r.idchit);
    if (r.printNow)
        printDocument(r.idchit);
}

void CollectionsPanel::cancelCollection()
{
    const qint64 idchit = currentDocumentId();
    if (!idchit)
        return;
    try {
        if (MaybeRefusal r = checkCancellation(m_db, idchit)) {
            mesaj(r->title, r->message, MesajButtons::OK, MesajKind::Eroare);
            return;
        }
        if (mesaj(QStringLiteral("Anulare incasare/plata"), cancellationQuestion(m_db, idchit), MesajButtons::DaNu,
                  MesajKind::Atentie) != MesajResult::Da)
            return;
        if (MaybeRefusal r = vestronia::cancelCollection(m_db, m_session, idchit, Contor::instance())) {
            mesaj(r->title, r->message, MesajButtons::OK, MesajKind::Eroare);
            return;
        }
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Anulare incasare"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    Q_EMIT collectionsChanged(idchit);
    Q_EMIT debitsChanged(0);
    mesaj(QStringLiteral("Anulare incasare"), QStringLiteral("\rIncasarea/plata a fost anulata!"), MesajButtons::OK,
          MesajKind::Informatie);
}

void CollectionsPanel::printDocument(qint64 idchit)
{
    try {
        const ReceiptOutcome r = printReceipt(m_db, m_session, idchit, ReceiptFormat::AsConfigured, Contor::instance());
        if (!openDocument(r.shownPath()))
            mesaj(QStringLiteral("Chitanta"), cannotOpenMessage(r.shownPath()), MesajButtons::OK, MesajKind::Eroare);
        if (!r.notice.isEmpty())
            mesaj(QStringLiteral("Chitanta"), r.notice, MesajButtons::OK, MesajKind::Atentie);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Chitanta"), e.message(), MesajButtons::OK, MesajKind::Eroare);
    }
}

} // namespace vestronia
