// The subscriber screen: the filter over the list it holds in memory (so a keystroke
// never re-reads the table), sorting by a column title, the three panels read for the
// selected subscriber alone, and the add/change/delete operations with their questions.

#include "ui/register/evidenta.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/session.h"
#include "ledger/subscriberfilter.h"
#include "ledger/subscriberpanels.h"
#include "store/database.h"
#include "ui/collections/collectionspanel.h"
#include "ui/collections/debitspanel.h"
#include "ui/ledger/addabon.h"
#include "ui/ledger/contlistf.h"
#include "ui/ledger/subscriptionspanel.h"
#include "ui/shell/panelgrid.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/mesaj.h"
#include "ui/shell/resultgridmodel.h"
#include "ui/shell/setdebit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace vestronia {

namespace {

const QString AnyItem = QStringLiteral("* indiferent *");

std::function<void(Evidenta &)> &emptyRegisterHandler()
{
    static std::function<void(Evidenta &)> handler;
    return handler;
}



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







} // namespace

Evidenta::Evidenta(Database &db, const Session &session, QWidget *parent)
    : QDialog(parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("Evidenta"));
    setWindowTitle(QStringLiteral("Evidenta"));
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);

    auto *heading = new QLabel(QStringLiteral("Evidenta Abonati - Debite - Incasari"), this);
    heading->setAlignment(Qt::AlignCenter);
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    heading->setFont(bold);

    // ABONATI
    auto *subscribersBox = new QGroupBox(QStringLiteral("ABONATI"), this);
    m_nameFilter = new QLineEdit(subscribersBox);
    m_nameFilter->setObjectName(QStringLiteral("NumeP"));
    m_nameFilter->setMaxLength(68);
    m_localityFilter = new QComboBox(subscribersBox);
    m_localityFilter->setObjectName(QStringLiteral("LocC"));
    m_streetFilter = new QComboBox(subscribersBox);
    m_streetFilter->setObjectName(QStringLiteral("StradaC"));
    for (QComboBox *c : {m_localityFilter, m_streetFilter}) {
        c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        c->setMinimumContentsLength(18);
        c->setMaxVisibleItems(25);
    }
    m_numberFilter = new QLineEdit(subscribersBox);
    m_numberFilter->setObjectName(QStringLiteral("NrC"));
    m_numberFilter->setMaxLength(32);
    m_numberFilter->setFixedWidth(m_numberFilter->fontMetrics().averageCharWidth() * 8 + 12);
    m_typeFilter = new QComboBox(subscribersBox);
    m_typeFilter->setObjectName(QStringLiteral("TipPFC"));
    m_typeFilter->addItems({AnyItem, QStringLiteral("FIZICA"), QStringLiteral("JURIDICA")});
    m_activeOnly = new QCheckBox(QStringLiteral("Arata numai abonatii activi"), subscribersBox);
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
    filters->addWidget(new QLabel(QStringLiteral("Titular"), subscribersBox), 0, 0);
    filters->addWidget(new QLabel(QStringLiteral("Localitatea"), subscribersBox), 0, 1);
    filters->addWidget(new QLabel(QStringLiteral("Strada"), subscribersBox), 0, 2);
    filters->addWidget(new QLabel(QStringLiteral("Numar"), subscribersBox), 0, 3);
    filters->addWidget(new QLabel(QStringLiteral("Tip persoana"), subscribersBox), 0, 4);
    filters->addWidget(m_nameFilter, 1, 0);
    filters->addWidget(m_localityFilter, 1, 1);
    filters->addWidget(m_streetFilter, 1, 2);
    filters->addWidget(m_numberFilter, 1, 3);
    filters->addWidget(m_typeFilter, 1, 4);
    filters->addWidget(m_activeOnly, 1, 5);
    filters->setColumnStretch(0, 3);
    filters->setColumnStretch(6, 1);

    m_subscribers = new ResultGridModel(subscriberColumns(), this);
    m_subscriberGrid = grid(subscribersBox, QStringLiteral("SMDBGrid1"), m_subscribers,
                            {3, 24, 3, 13, 8, 4, 10, 13, 13, 5, 10, 10, 7, 10});
    m_subscriberGrid->horizontalHeader()->setSectionsClickable(true);
    m_subscriberGrid->horizontalHeader()->setToolTip(QStringLiteral("Click pe titlul coloanei: sortare"));

    m_count = new QLabel(QStringLiteral("0"), subscribersBox);
    m_count->setObjectName(QStringLiteral("NrCon"));
    QFont countFont = m_count->font();
    countFont.setBold(true);
    m_count->setFont(countFont);
    m_remarks = new QLineEdit(subscribersBox);
    m_remarks->setObjectName(QStringLiteral("Obs"));
    m_remarks->setReadOnly(true);
    m_remarks->setPlaceholderText(QStringLiteral("Observatii"));

    m_add = new QPushButton(QStringLiteral("&Adauga Abonat"), subscribersBox);
    m_add->setObjectName(QStringLiteral("AddAbonB"));
    m_edit = new QPushButton(QStringLiteral("&Modifica Abonat"), subscribersBox);
    m_edit->setObjectName(QStringLiteral("EditAbonB"));
    m_delete = new QPushButton(QStringLiteral("&Sterge Abonat"), subscribersBox);
    m_delete->setObjectName(QStringLiteral("DelAbonB"));
    m_executare = new QPushButton(QStringLiteral("E&xecutare silita"), subscribersBox);
    m_executare->setObjectName(QStringLiteral("ExecutareB"));
    m_executare->setEnabled(false);
    for (QPushButton *b : {m_add, m_edit, m_delete, m_executare})
        b->setAutoDefault(false);
    m_subscriberButtons = new QHBoxLayout;
    m_subscriberButtons->addWidget(new QLabel(QStringLiteral("Abonati afisati :"), subscribersBox));
    m_subscriberButtons->addWidget(m_count);
    m_subscriberButtons->addSpacing(12);
    m_subscriberButtons->addWidget(m_remarks, 1);
    m_subscriberButtons->addSpacing(12);
    m_subscriberButtons->addWidget(m_add);
    m_subscriberButtons->addWidget(m_edit);
    m_subscriberButtons->addWidget(m_delete);
    m_subscriberButtons->addWidget(m_executare);

    auto *sl = new QVBoxLayout(subscribersBox);
    sl->addLayout(filters);
    sl->addWidget(m_subscriberGrid, 1);
    sl->addLayout(m_subscriberButtons);

    // ABONAMENTE

    // DEBITE and INCASARI, one class each
    m_setDebit = new SetDebit(this);
    m_subscriptionsPanel = new SubscriptionsPanel(db, session, m_setDebit, this);
    m_subscriptions = m_subscriptionsPanel->model();
    m_subscriptionGrid = m_subscriptionsPanel->grid();
    m_changeAmount = m_subscriptionsPanel->changeAmountAction();
    QWidget *subscriptionsBox = m_subscriptionsPanel;
    connect(m_subscriptionsPanel, &SubscriptionsPanel::subscriptionChanged, this, [this](qint64 idserv) {
        reloadSubscriptions(idserv);
        reloadDebits();
    });
    m_debitsPanel = new DebitsPanel(db, session, m_setDebit, this);
    m_debitsPanel->setAccountChooser([this](int persons) -> std::optional<AccountRecord> {
        if (!m_accountChooser)
            m_accountChooser = new ContListF(m_db, m_session, this);
        if (!m_accountChooser->choose(persons))
            return std::nullopt;
        return m_accountChooser->chosenAccount();
    });
    m_debits = m_debitsPanel->model();
    m_debitGrid = m_debitsPanel->grid();
    m_debitButtons = m_debitsPanel->buttonRow();
    m_collectionsPanel = new CollectionsPanel(db, session, this);
    m_collections = m_collectionsPanel->model();
    m_collectionGrid = m_collectionsPanel->grid();
    m_collectionButtons = m_collectionsPanel->buttonRow();
    connect(m_debitsPanel, &DebitsPanel::debitsChanged, this, [this](qint64 iddeb) { reloadDebits(iddeb); });
    connect(m_collectionsPanel, &CollectionsPanel::debitsChanged, this, [this](qint64 iddeb) { reloadDebits(iddeb); });
    connect(m_collectionsPanel, &CollectionsPanel::collectionsChanged, this,
            [this](qint64 idchit) { reloadCollections(idchit); });
    QWidget *debitsBox = m_debitsPanel;
    QWidget *collectionsBox = m_collectionsPanel;

    auto *lower = new QSplitter(Qt::Horizontal, this);
    m_lower = lower;
    lower->addWidget(debitsBox);
    lower->addWidget(collectionsBox);
    lower->setStretchFactor(0, 2);
    lower->setStretchFactor(1, 3);
    lower->setSizes({560, 780});
    auto *vertical = new QSplitter(Qt::Vertical, this);
    m_vertical = vertical;
    vertical->addWidget(subscribersBox);
    vertical->addWidget(subscriptionsBox);
    vertical->addWidget(lower);
    vertical->setStretchFactor(0, 5);
    vertical->setStretchFactor(1, 2);
    vertical->setStretchFactor(2, 3);
    vertical->setChildrenCollapsible(false);
    vertical->setSizes({460, 140, 260});

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(vertical, 1);
    resize(1280, 700);

    m_addAbon = new AddAbon(this);

    connect(m_nameFilter, &QLineEdit::textChanged, this, &Evidenta::applyFilter);
    connect(m_numberFilter, &QLineEdit::textChanged, this, &Evidenta::applyFilter);
    connect(m_localityFilter, &QComboBox::currentIndexChanged, this, &Evidenta::applyFilter);
    connect(m_streetFilter, &QComboBox::currentIndexChanged, this, &Evidenta::applyFilter);
    connect(m_typeFilter, &QComboBox::currentIndexChanged, this, &Evidenta::applyFilter);
    connect(m_activeOnly, &QCheckBox::toggled, this, &Evidenta::applyFilter);
    connect(m_subscriberGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        if (!m_positioning)
            subscriberMoved();
    });
    connect(m_subscriberGrid->horizontalHeader(), &QHeaderView::sectionClicked, this, &Evidenta::sortByColumn);
    connect(m_add, &QPushButton::clicked, this, &Evidenta::addSubscriberClicked);
    connect(m_edit, &QPushButton::clicked, this, &Evidenta::editSubscriberClicked);
    connect(m_delete, &QPushButton::clicked, this, &Evidenta::deleteSubscriberClicked);
    connect(m_executare, &QPushButton::clicked, this, [this] {
        const qint64 idab = currentSubscriberId();
        if (m_onExecutare && idab >= 0)
            m_onExecutare(idab);
    });
    connect(m_subscriberGrid, &QTableView::doubleClicked, this, [this] {
        if (m_edit->isEnabled())
            m_edit->click();
    });

    // Keyboard roads: Enter on a focused button presses it, Enter in a filter moves on,
    // and Tab walks filters, grid, buttons and the panels below in reading order.
    installEnterNavigation(this);
}

Evidenta::~Evidenta() = default;

void Evidenta::setEmptyRegisterHandler(std::function<void(Evidenta &)> handler)
{
    emptyRegisterHandler() = std::move(handler);
}

void Evidenta::showError(const QString &title, const QString &text)
{
    mesaj(title, text, MesajButtons::OK, MesajKind::Eroare);
}

QStringList Evidenta::distinct(const QString &field)
{
    try {
        return distinctSubscriberValues(m_db, field);
    } catch (const VestroniaError &e) {
        showError(QStringLiteral("Evidenta"), e.message());
        return {};
    }
}

void Evidenta::fillFilterLists(const QString &keepLocality)
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

void Evidenta::prepare()
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
        if (m_subscribers->result().isEmpty() && emptyRegisterHandler()) {
            emptyRegisterHandler()(*this);
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

void Evidenta::run()
{
    prepare();
    if (QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
        fitTo(screen->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
    exec();
    m_subscribers->clear();
    m_subscriptions->clear();
    m_debits->clear();
    m_collections->clear();
}

void Evidenta::fitTo(const QRect &area)
{
    // Maximized on the screen's available area (less a title bar), the splitters sharing
    // its height so that a 1366x768 laptop shows a dozen subscribers and, below, the
    // subscriptions, debits, collections and totals.
    setGeometry(area);
    const int h = std::max(300, area.height() - 80);
    m_vertical->setSizes({h * 60 / 100, h * 12 / 100, h * 28 / 100});
    // The collections, with their totals beside them, take the larger part of the width.
    const int w = area.width();
    m_lower->setSizes({w * 37 / 100, w * 63 / 100});
}

void Evidenta::applyFilter()
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

void Evidenta::runFilterPass()
{
    ++m_filterPasses;
    if (m_filterPassHook)
        m_filterPassHook();
    showFilteredRows(0, true);
}

void Evidenta::showFilteredRows(qint64 positionOn, bool first)
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
    subscriberMoved();
}

qint64 Evidenta::currentSubscriberId() const
{
    const int row = m_subscribers->resultRow(m_subscriberGrid->currentIndex().row());
    return row < 0 ? -1 : m_subscribers->result().integer(row, QStringLiteral("IDAB"));
}

SubscriberRecord Evidenta::currentSubscriber() const
{
    const int row = m_subscribers->resultRow(m_subscriberGrid->currentIndex().row());
    return row < 0 ? SubscriberRecord() : SubscriberRecord::fromRow(m_subscribers->result(), row);
}

int Evidenta::shownSubscriberCount() const
{
    return m_subscribers->rowCount();
}

bool Evidenta::selectSubscriber(qint64 idab)
{
    const int row = m_subscribers->findRow(QStringLiteral("IDAB"), idab);
    if (row < 0)
        return false;
    m_subscriberGrid->setCurrentIndex(m_subscribers->index(row, 1));
    return true;
}

void Evidenta::subscriberMoved()
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
    reloadSubscriptions();
    reloadDebits();
    reloadCollections();
    Q_EMIT subscriberChanged(id);
}


void Evidenta::reloadSubscriptions(qint64 positionOnIdserv)
{
    m_subscriptionsPanel->setSubscriber(currentSubscriberId());
    m_subscriptionsPanel->reload(positionOnIdserv);
}

void Evidenta::reloadDebits(qint64 positionOnIddeb)
{
    const qint64 id = currentSubscriberId();
    m_debitsPanel->setSubscriber(id >= 0 ? std::optional<SubscriberRecord>(currentSubscriber()) : std::nullopt);
    try {
        m_debits->setResult(id >= 0 ? openDebitsOf(m_db, id) : ResultSet());
    } catch (const VestroniaError &e) {
        m_debits->clear();
        showError(QStringLiteral("Evidenta"), e.message());
    }
    positionGrid(m_debitGrid, m_debits, QStringLiteral("IDDEB"), positionOnIddeb);
    refreshTotals();
}

void Evidenta::reloadCollections(qint64 positionOnIdchit)
{
    const qint64 id = currentSubscriberId();
    m_collectionsPanel->setSubscriber(id);
    try {
        m_collections->setResult(id >= 0 ? collectionsOf(m_db, id) : ResultSet());
    } catch (const VestroniaError &e) {
        m_collections->clear();
        showError(QStringLiteral("Evidenta"), e.message());
    }
    positionGrid(m_collectionGrid, m_collections, QStringLiteral("IDCHIT"), positionOnIdchit);
    m_collectionsPanel->updateButtons();
}

void Evidenta::refreshTotals()
{
    m_collectionsPanel->refreshTotals(m_debits->result());
    m_debitsPanel->updateButtons();
}

const BalanceTotals &Evidenta::totals() const
{
    return m_collectionsPanel->totals();
}

void Evidenta::setOnExecutare(std::function<void(qint64)> handler)
{
    m_onExecutare = std::move(handler);
    m_executare->setEnabled(bool(m_onExecutare) && currentSubscriberId() >= 0);
}

void Evidenta::setOnFisa(std::function<void(qint64)> handler)
{
    m_collectionsPanel->setStatementHandler(std::move(handler));
}

void Evidenta::reloadSubscribers(qint64 positionOn)
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

void Evidenta::sortByColumn(int section)
{
    if (m_subscribers->rowCount() <= 1 || section < 0 || section >= m_subscribers->columns().size())
        return;
    const QString field = subscriberSortField(m_subscribers->columns()[section].field);
    if (field.isEmpty())
        return;
    m_order = field;
    reloadSubscribers(currentSubscriberId());
}

void Evidenta::addSubscriberClicked()
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

void Evidenta::editSubscriberClicked()
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

void Evidenta::deleteSubscriberClicked()
{
    const SubscriberRecord s = currentSubscriber();
    if (currentSubscriberId() < 0)
        return;
    if (mesaj(QStringLiteral("Stergere Abonat"), QStringLiteral("\rDoriti sa stergeti pe ") + s.name + QLatin1Char('?'),
              MesajButtons::DaNu, MesajKind::Atentie)
        != MesajResult::Da)
        return;
    if (m_collections->rowCount() > 0
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

} // namespace vestronia
