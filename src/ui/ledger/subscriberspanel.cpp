// The subscribers panel: the filter over the list it holds in memory (so a keystroke
// never re-reads the table), sorting by a column title, and the add/change/delete
// operations with their questions. It tells the screen when the selected row moves.

#include "ui/ledger/subscriberspanel.h"

#include "core/clock.h"
#include "core/error.h"
#include "core/session.h"
#include "ledger/subscriberfilter.h"
#include "store/database.h"
#include "ui/ledger/addabon.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/panelgrid.h"
#include "ui/shell/resultgridmodel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace vestronia {

namespace {

const QString AnyItem = QStringLiteral("* indiferent *");


QVector<GridColumn> subscriberColumns()
{
    const QString address = QStringLiteral("Adresa");
    const QString record = QStringLiteral("In evidenta");
    const QString contract = QStringLiteral("Contract");
    return {flagColumn(QStringLiteral("Oprit"), QStringLiteral("INACTIV"),
                       [](const ResultSet &r, int row) { return r.integer(row, QStringLiteral("DATAOUT")) > 999; }),
            GridColumn::plain(QStringLiteral("Nume si prenume"), QStringLiteral("NUME")),
            GridColumn::plain(QStringLiteral("Tip PF"), QStringLiteral("TIPPF")),
            GridColumn::plain(QStringLiteral("CNP/CUI"), QStringLiteral("CNP")),
            GridColumn::plain(QStringLiteral("ROL"), QStringLiteral("ROL")),
            GridColumn::number(QStringLiteral("Nr. pers."), QStringLiteral("NRPERS")),
            twinDay(QStringLiteral("Scutit pana la"), QStringLiteral("DATASCUT")),
            GridColumn::plain(QStringLiteral("Localitatea"), QStringLiteral("LOC"), address),
            GridColumn::plain(QStringLiteral("Strada"), QStringLiteral("STRADA"), address),
            GridColumn::plain(QStringLiteral("Numar"), QStringLiteral("NR"), address),
            twinDay(QStringLiteral("De la data"), QStringLiteral("DATAIN"), record),
            twinDay(QStringLiteral("Pana la data"), QStringLiteral("DATAOUT"), record),
            GridColumn::plain(QStringLiteral("Numar"), QStringLiteral("NRCON"), contract),
            twinDay(QStringLiteral("Din data"), QStringLiteral("DATACON"), contract)};
}

void showError(const QString &title, const QString &text)
{
    mesaj(title, text, MesajButtons::OK, MesajKind::Eroare);
}

} // namespace

SubscribersPanel::SubscribersPanel(Database &db, const Session &session, QWidget *parent)
    : QGroupBox(QStringLiteral("ABONATI"), parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("AbonatiPanel"));
    m_nameFilter = new QLineEdit(this);
    m_nameFilter->setObjectName(QStringLiteral("NumeP"));
    m_nameFilter->setMaxLength(68);
    m_localityFilter = new QComboBox(this);
    m_localityFilter->setObjectName(QStringLiteral("LocC"));
    m_streetFilter = new QComboBox(this);
    m_streetFilter->setObjectName(QStringLiteral("StradaC"));
    for (QComboBox *c : {m_localityFilter, m_streetFilter}) {
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        c->setMinimumContentsLength(18);
        c->setMaxVisibleItems(25);
    }
    m_numberFilter = new QLineEdit(this);
    m_numberFilter->setObjectName(QStringLiteral("NrC"));
    m_numberFilter->setMaxLength(32);
    m_numberFilter->setFixedWidth(m_numberFilter->fontMetrics().averageCharWidth() * 8 + 12);
    m_typeFilter = new QComboBox(this);
    m_typeFilter->setObjectName(QStringLiteral("TipPFC"));
    m_typeFilter->addItems({AnyItem, QStringLiteral("FIZICA"), QStringLiteral("JURIDICA")});
    m_activeOnly = new QCheckBox(QStringLiteral("Arata numai abonatii activi"), this);
    m_activeOnly->setObjectName(QStringLiteral("DoarActive"));
    for (QLineEdit *edit : {m_nameFilter, m_numberFilter}) {
        connect(edit, &QLineEdit::textEdited, edit, [edit](const QString &text) {
            const QString upper = text.toUpper();
            if (upper != text) {
                const int pos = edit->cursorPosition();
                edit->setText(upper);
                edit->setCursorPosition(pos);
            }
        });
    }
    auto *filters = new QGridLayout;
    filters->addWidget(new QLabel(QStringLiteral("Titular"), this), 0, 0);
    filters->addWidget(new QLabel(QStringLiteral("Localitatea"), this), 0, 1);
    filters->addWidget(new QLabel(QStringLiteral("Strada"), this), 0, 2);
    filters->addWidget(new QLabel(QStringLiteral("Numar"), this), 0, 3);
    filters->addWidget(new QLabel(QStringLiteral("Tip persoana"), this), 0, 4);
    filters->addWidget(m_nameFilter, 1, 0);
    filters->addWidget(m_localityFilter, 1, 1);
    filters->addWidget(m_streetFilter, 1, 2);
    filters->addWidget(m_numberFilter, 1, 3);
    filters->addWidget(m_typeFilter, 1, 4);
    filters->addWidget(m_activeOnly, 1, 5);
    filters->setColumnStretch(0, 3);
    filters->setColumnStretch(6, 1);

    m_subscribers = new ResultGridModel(subscriberColumns(), this);
    m_subscriberGrid = vestronia::grid(this, QStringLiteral("SMDBGrid1"), m_subscribers,
                            {3, 24, 3, 13, 8, 4, 10, 13, 13, 5, 10, 10, 7, 10});
    m_subscriberGrid->horizontalHeader()->setSectionsClickable(true);
    m_subscriberGrid->horizontalHeader()->setToolTip(QStringLiteral("Click pe titlul coloanei: sortare"));

    m_count = new QLabel(QStringLiteral("0"), this);
    m_count->setObjectName(QStringLiteral("NrCon"));
    QFont countFont = m_count->font();
    countFont.setBold(true);
    m_count->setFont(countFont);
    m_remarks = new QLineEdit(this);
    m_remarks->setObjectName(QStringLiteral("Obs"));
    m_remarks->setReadOnly(true);
    m_remarks->setPlaceholderText(QStringLiteral("Observatii"));

    m_add = new QPushButton(QStringLiteral("&Adauga Abonat"), this);
    m_add->setObjectName(QStringLiteral("AddAbonB"));
    m_edit = new QPushButton(QStringLiteral("&Modifica Abonat"), this);
    m_edit->setObjectName(QStringLiteral("EditAbonB"));
    m_delete = new QPushButton(QStringLiteral("&Sterge Abonat"), this);
    m_delete->setObjectName(QStringLiteral("DelAbonB"));
    m_executare = new QPushButton(QStringLiteral("E&xecutare silita"), this);
    m_executare->setObjectName(QStringLiteral("ExecutareB"));
    m_executare->setEnabled(false);
    for (QPushButton *b : {m_add, m_edit, m_delete, m_executare})
        b->setAutoDefault(false);
    m_subscriberButtons = new QHBoxLayout;
    m_subscriberButtons->addWidget(new QLabel(QStringLiteral("Abonati afisati :"), this));
    m_subscriberButtons->addWidget(m_count);
    m_subscriberButtons->addSpacing(12);
    m_subscriberButtons->addWidget(m_remarks, 1);
    m_subscriberButtons->addSpacing(12);
    m_subscriberButtons->addWidget(m_add);
    m_subscriberButtons->addWidget(m_edit);
    m_subscriberButtons->addWidget(m_delete);
    m_subscriberButtons->addWidget(m_executare);

    auto *sl = new QVBoxLayout(this);
    sl->addLayout(filters);
    sl->addWidget(m_subscriberGrid, 1);
    sl->addLayout(m_subscriberButtons);

    m_addAbon = new AddAbon(this);

    connect(m_nameFilter, &QLineEdit::textChanged, this, &SubscribersPanel::applyFilter);
    connect(m_numberFilter, &QLineEdit::textChanged, this, &SubscribersPanel::applyFilter);
    connect(m_localityFilter, &QComboBox::currentIndexChanged, this, &SubscribersPanel::applyFilter);
    connect(m_streetFilter, &QComboBox::currentIndexChanged, this, &SubscribersPanel::applyFilter);
    connect(m_typeFilter, &QComboBox::currentIndexChanged, this, &SubscribersPanel::applyFilter);
    connect(m_activeOnly, &QCheckBox::toggled, this, &SubscribersPanel::applyFilter);
    connect(m_subscriberGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!m_positioning)
            rowMoved();
    });
    connect(m_subscriberGrid->horizontalHeader(), &QHeaderView::sectionClicked, this, &SubscribersPanel::sortByColumn);
    connect(m_add, &QPushButton::clicked, this, &SubscribersPanel::addSubscriberClicked);
    connect(m_edit, &QPushButton::clicked, this, &SubscribersPanel::editSubscriberClicked);
    connect(m_delete, &QPushButton::clicked, this, &SubscribersPanel::deleteSubscriberClicked);
    connect(m_executare, &QPushButton::clicked, this, [this] {
        const qint64 idab = currentSubscriberId();
        if (m_onExecutare && idab >= 0)
            m_onExecutare(idab);
    });
    connect(m_subscriberGrid, &QTableView::doubleClicked, this, [this] {
        if (m_edit->isEnabled())
            m_edit->click();
    });
}

void SubscribersPanel::clear()
{
    m_subscribers->clear();
}

QStringList SubscribersPanel::distinct(const QString &field)
{
    try {
        return distinctSubscriberValues(m_db, field);
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Evidenta"), e.message());
        return {};
    }
}

void SubscribersPanel::fillFilterLists(const QString &keepLocality)
{
    const bool suppressed = m_suppressFilter;
    m_suppressFilter = true;
    m_localityFilter->clear();
    m_localityFilter->addItem(AnyItem);
    m_localityFilter->addItems(distinct(QStringLiteral("LOC")));
    const int at = keepLocality.isEmpty() ? 0 : m_localityFilter->findText(keepLocality);
    m_localityFilter->setCurrentIndex(at < 0 ? 0 : at);
    m_suppressFilter = suppressed;
}

void SubscribersPanel::applyFilter()
{
    if (m_suppressFilter)
        return;
    // A change that arrives while a pass runs is remembered and answered by exactly one
    // more pass when this one ends.
    if (m_filtering) {
        ++m_filterRequests;
        return;
    }
    m_filtering = true;
    do {
        m_filterRequests = 0;
        runFilterPass();
    } while (m_filterRequests > 0);
    m_filtering = false;
}

void SubscribersPanel::runFilterPass()
{
    ++m_filterPasses;
    if (m_filterPassHook)
        m_filterPassHook();
    showFilteredRows(0, true);
}

void SubscribersPanel::showFilteredRows(qint64 positionOn, bool first)
{
    SubscriberFilter f;
    f.name = m_nameFilter->text();
    f.activeOnly = m_activeOnly->isChecked();
    if (m_localityFilter->currentIndex() > 0)
        f.locality = m_localityFilter->currentText();
    if (m_streetFilter->currentIndex() > 0)
        f.street = m_streetFilter->currentText();
    f.number = m_numberFilter->text();
    if (m_typeFilter->currentIndex() > 0)
        f.type = m_typeFilter->currentText().left(1);
    f.today = Clock::todayDayNumber();

    m_positioning = true;
    m_subscribers->setVisibleRows(filterSubscribers(m_subscribers->result(), f));
    m_count->setText(QString::number(m_subscribers->rowCount()));
    int row = first ? -1 : m_subscribers->findRow(QStringLiteral("IDAB"), positionOn);
    if (row < 0 && m_subscribers->rowCount() > 0)
        row = 0;
    if (row >= 0) {
        const QModelIndex index = m_subscribers->index(row, 1);
        m_subscriberGrid->setCurrentIndex(index);
        m_subscriberGrid->scrollTo(m_subscribers->index(row, 0));
    }
    m_positioning = false;
    rowMoved();
}

qint64 SubscribersPanel::currentSubscriberId() const
{
    const int row = m_subscribers->resultRow(m_subscriberGrid->currentIndex().row());
    return row < 0 ? -1 : m_subscribers->result().integer(row, QStringLiteral("IDAB"));
}

SubscriberRecord SubscribersPanel::currentSubscriber() const
{
    const int row = m_subscribers->resultRow(m_subscriberGrid->currentIndex().row());
    return row < 0 ? SubscriberRecord() : SubscriberRecord::fromRow(m_subscribers->result(), row);
}

int SubscribersPanel::shownSubscriberCount() const
{
    return m_subscribers->rowCount();
}

bool SubscribersPanel::selectSubscriber(qint64 idab)
{
    const int row = m_subscribers->findRow(QStringLiteral("IDAB"), idab);
    if (row < 0)
        return false;
    m_subscriberGrid->setCurrentIndex(m_subscribers->index(row, 1));
    return true;
}

void SubscribersPanel::rowMoved()
{
    const qint64 id = currentSubscriberId();
    const bool any = id >= 0;
    const bool writable = m_session.canModify();
    m_add->setEnabled(writable);
    m_edit->setEnabled(writable && any);
    m_delete->setEnabled(writable && any);
    m_executare->setEnabled(bool(m_onExecutare) && any);
    m_remarks->setText(any ? currentSubscriber().remarks() : QString());
    m_remarks->setCursorPosition(0);
    Q_EMIT subscriberMoved(id);
}

void SubscribersPanel::setOnExecutare(std::function<void(qint64)> handler)
{
    m_onExecutare = std::move(handler);
    m_executare->setEnabled(bool(m_onExecutare) && currentSubscriberId() >= 0);
}

void SubscribersPanel::reloadSubscribers(qint64 positionOn)
{
    const bool suppressed = m_suppressFilter;
    m_suppressFilter = true;
    try {
        m_subscribers->setResult(listSubscribers(m_db, m_order));
    } catch (const VestroniaError &e) {
        m_subscribers->clear();
        showError(QStringLiteral("Evidenta"), e.message());
    }
    showFilteredRows(positionOn, false);
    m_suppressFilter = suppressed;
}

void SubscribersPanel::sortByColumn(int section)
{
    if (m_subscribers->rowCount() <= 1 || section < 0 || section >= m_subscribers->columns().size())
        return;
    const QString field = subscriberSortField(m_subscribers->columns()[section].field);
    if (field.isEmpty())
        return;
    m_order = field;
    reloadSubscribers(currentSubscriberId());
}

void SubscribersPanel::addSubscriberClicked()
{
    if (!m_addAbon->runAdd(distinct(QStringLiteral("LOC")), distinct(QStringLiteral("STRADA"))))
        return;
    const SubscriberDraft d = m_addAbon->draft();
    if (m_localityFilter->findText(d.locality) < 0) {
        const bool suppressed = m_suppressFilter;
        m_suppressFilter = true;
        const QString chosen = m_localityFilter->currentText();
        m_localityFilter->addItem(d.locality);
        m_localityFilter->model()->sort(0);
        // "* indiferent *" sorts first on its own ('*' comes before letters and digits).
        m_localityFilter->setCurrentIndex(m_localityFilter->findText(chosen));
        m_suppressFilter = suppressed;
    }
    qint64 id = -1;
    try {
        id = addSubscriber(m_db, m_session, d);
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Adaugare Abonat"), e.message());
    }
    reloadSubscribers(id);
}

void SubscribersPanel::editSubscriberClicked()
{
    const SubscriberRecord s = currentSubscriber();
    if (s.id <= 0 && currentSubscriberId() < 0)
        return;
    if (!m_addAbon->runChange(s, distinct(QStringLiteral("LOC")), distinct(QStringLiteral("STRADA"))))
        return;
    const QString chosenLocality = m_localityFilter->currentIndex() > 0 ? m_localityFilter->currentText() : QString();
    try {
        changeSubscriber(m_db, m_session, s.id, m_addAbon->draft());
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Modificare Abonat"), e.message());
    }
    fillFilterLists(chosenLocality);
    reloadSubscribers(s.id);
}

void SubscribersPanel::deleteSubscriberClicked()
{
    const SubscriberRecord s = currentSubscriber();
    if (currentSubscriberId() < 0)
        return;
    if (mesaj(QStringLiteral("Stergere Abonat"), QStringLiteral("\rDoriti sa stergeti pe ") + s.name + QLatin1Char('?'),
              MesajButtons::DaNu, MesajKind::Atentie)
        != MesajResult::Da)
        return;
    if (m_hasDocuments
        && mesaj(QStringLiteral("Stergere Abonat"),
                 QStringLiteral("!! ATENTIE !!\rSe vor sterge si chitantele!\rSunteti sigur ca doriti sa continuati?"),
                 MesajButtons::DaNu, MesajKind::Atentie)
               != MesajResult::Da)
        return;
    const int row = m_subscriberGrid->currentIndex().row();
    const int neighbour = row == 0 ? 1 : row - 1;
    const int neighbourRow = m_subscribers->resultRow(neighbour);
    const qint64 neighbourId =
        neighbourRow < 0 ? 0 : m_subscribers->result().integer(neighbourRow, QStringLiteral("IDAB"));
    try {
        deleteSubscriber(m_db, m_session, s.id);
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Stergere Abonat"), e.message());
    }
    reloadSubscribers(neighbourId);
}

void SubscribersPanel::prepare(const std::function<void()> &onEmptyRegister)
{
    // The screen lives for the run: a second opening finds the filters, the "active
    // only" box and the order the clerk left, over lists read anew.
    const QString keepLocality = m_localityFilter->currentIndex() > 0 ? m_localityFilter->currentText() : QString();
    const QString keepStreet = m_streetFilter->currentIndex() > 0 ? m_streetFilter->currentText() : QString();
    m_suppressFilter = true;
    setKeyboardFocus(m_nameFilter);
    fillFilterLists(keepLocality);
    m_streetFilter->clear();
    m_streetFilter->addItem(AnyItem);
    m_streetFilter->addItems(distinct(QStringLiteral("STRADA")));
    const int street = keepStreet.isEmpty() ? 0 : m_streetFilter->findText(keepStreet);
    m_streetFilter->setCurrentIndex(street < 0 ? 0 : street);

    try {
        m_subscribers->setResult(listSubscribers(m_db, m_order));
        if (m_subscribers->result().isEmpty() && onEmptyRegister) {
            onEmptyRegister();
            fillFilterLists(QString());
            m_subscribers->setResult(listSubscribers(m_db, m_order));
        }
    } catch (const VestroniaError &e) {
        m_subscribers->clear();
        showError(QStringLiteral("Evidenta"), e.message());
    }
    m_suppressFilter = false;
    applyFilter();
}

} // namespace vestronia
