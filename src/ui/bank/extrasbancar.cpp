// The "Extras bancar" window: reading, matching and recording are the bank services';
// this file shows their plan, takes the clerk's assignments and drops, and asks before
// recording. The subscriber list for an assignment uses the register screen's filter.

#include "ui/bank/extrasbancar.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/session.h"
#include "core/text.h"
#include "ledger/subscriberfilter.h"
#include "store/database.h"
#include "ui/shell/contor.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/filedialogs.h"
#include "ui/shell/mesaj.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vestronia {

namespace {

const QColor ParkedColour(255, 228, 140);
const QColor RecordedColour(200, 235, 200);
const QColor ToRecordColour(255, 255, 255);
const QColor QuietColour(235, 235, 235);

QTableWidget *grid(QWidget *parent, const QString &name, const QStringList &headers)
{
    auto *g = new QTableWidget(0, int(headers.size()), parent);
    g->setObjectName(name);
    g->setHorizontalHeaderLabels(headers);
    g->verticalHeader()->hide();
    g->setEditTriggers(QAbstractItemView::NoEditTriggers);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setSelectionMode(QAbstractItemView::SingleSelection);
    g->setTabKeyNavigation(false);
    return g;
}

bool isEnter(QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier;
}

} // namespace

ExtrasBancar::ExtrasBancar(Database &db, const Session &session, QWidget *parent)
    : QDialog(parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("ExtrasBancar"));
    setWindowTitle(QStringLiteral("Extras bancar"));

    m_open = new QPushButton(QStringLiteral("&Deschide extras..."), this);
    m_open->setObjectName(QStringLiteral("DeschideB"));
    m_open->setAutoDefault(false);
    m_file = new QLabel(QStringLiteral("Alegeti fisierul extrasului (camt.053 sau MT940)."), this);
    m_file->setObjectName(QStringLiteral("ExtrasL"));
    m_accountWarning = new QLabel(this);
    m_accountWarning->setObjectName(QStringLiteral("ContAvertL"));
    m_accountWarning->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold;"));
    m_accountWarning->setWordWrap(true);
    m_accountWarning->hide();

    m_lines = grid(this, QStringLiteral("IntrariG"),
                   {QStringLiteral("Nr"), QStringLiteral("Data"), QStringLiteral("Suma"), QStringLiteral("Platitor"),
                    QStringLiteral("Text plata"), QStringLiteral("Abonat"), QStringLiteral("Motiv"), QStringLiteral("Stare"),
                    QStringLiteral("Observatii")});
    m_lines->horizontalHeader()->setStretchLastSection(true);
    m_lines->setMinimumHeight(260);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("NumeP"));
    m_locality = new QComboBox(this);
    m_locality->setObjectName(QStringLiteral("LocC"));
    m_street = new QComboBox(this);
    m_street->setObjectName(QStringLiteral("StradaC"));
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("NrC"));
    m_number->setMaximumWidth(80);
    m_subscribers = grid(this, QStringLiteral("AbonatiG"),
                         {QStringLiteral("Nume"), QStringLiteral("CNP/CUI"), QStringLiteral("Rol"), QStringLiteral("Contract"),
                          QStringLiteral("Localitate"), QStringLiteral("Strada"), QStringLiteral("Nr")});
    m_subscribers->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_subscribers->setMinimumHeight(120);

    m_assign = new QPushButton(QStringLiteral("&Atribuie abonatului"), this);
    m_assign->setObjectName(QStringLiteral("AtribuieB"));
    m_drop = new QPushButton(QStringLiteral("&Scoate din extras"), this);
    m_drop->setObjectName(QStringLiteral("ScoateB"));
    m_record = new QPushButton(QStringLiteral("&Inregistreaza incasarile"), this);
    m_record->setObjectName(QStringLiteral("InregistreazaB"));
    m_close = new QPushButton(QStringLiteral("In&chide"), this);
    m_close->setObjectName(QStringLiteral("CloseBut"));
    for (QPushButton *b : {m_assign, m_drop, m_record, m_close})
        b->setAutoDefault(false);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("TotalL"));

    auto *top = new QHBoxLayout;
    top->addWidget(m_open);
    top->addWidget(m_file, 1);
    auto *filters = new QGridLayout;
    filters->addWidget(new QLabel(QStringLiteral("Atribuire - Nume"), this), 0, 0);
    filters->addWidget(m_name, 0, 1);
    filters->addWidget(new QLabel(QStringLiteral("Localitate"), this), 0, 2);
    filters->addWidget(m_locality, 0, 3);
    filters->addWidget(new QLabel(QStringLiteral("Strada"), this), 0, 4);
    filters->addWidget(m_street, 0, 5);
    filters->addWidget(new QLabel(QStringLiteral("Nr"), this), 0, 6);
    filters->addWidget(m_number, 0, 7);
    filters->setColumnStretch(1, 2);
    filters->setColumnStretch(3, 1);
    filters->setColumnStretch(5, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_summary, 1);
    buttons->addWidget(m_assign);
    buttons->addWidget(m_drop);
    buttons->addWidget(m_record);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_accountWarning);
    layout->addWidget(m_lines, 3);
    layout->addLayout(filters);
    layout->addWidget(m_subscribers, 2);
    layout->addLayout(buttons);
    resize(1200, 680);

    setTabChain({m_open, m_lines, m_name, m_locality, m_street, m_number, m_subscribers, m_assign, m_drop, m_record, m_close});
    installEnterNavigation(this);
    m_lines->installEventFilter(this);
    m_subscribers->installEventFilter(this);

    m_register = std::make_unique<ResultSet>(listSubscribers(m_db, QStringLiteral("NUME")));
    QStringList localities, streets;
    for (int i = 0; i < m_register->rowCount(); ++i) {
        localities << m_register->text(i, QStringLiteral("LOC"));
        streets << m_register->text(i, QStringLiteral("STRADA"));
    }
    for (QStringList *l : {&localities, &streets}) {
        l->removeAll(QString());
        l->removeDuplicates();
        l->sort();
    }
    m_locality->addItem(QStringLiteral("(toate)"));
    m_locality->addItems(localities);
    m_street->addItem(QStringLiteral("(toate)"));
    m_street->addItems(streets);

    connect(m_open, &QPushButton::clicked, this, &ExtrasBancar::chooseFile);
    connect(m_name, &QLineEdit::textChanged, this, &ExtrasBancar::refilter);
    connect(m_number, &QLineEdit::textChanged, this, &ExtrasBancar::refilter);
    connect(m_locality, &QComboBox::currentIndexChanged, this, &ExtrasBancar::refilter);
    connect(m_street, &QComboBox::currentIndexChanged, this, &ExtrasBancar::refilter);
    connect(m_assign, &QPushButton::clicked, this, &ExtrasBancar::assignCurrent);
    connect(m_drop, &QPushButton::clicked, this, &ExtrasBancar::dropCurrent);
    connect(m_record, &QPushButton::clicked, this, &ExtrasBancar::record);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_lines, &QTableWidget::currentCellChanged, this, [this] {
        const int line = currentLine();
        const bool open = line >= 0 && (m_import.lines[size_t(line)].outcome == BankOutcome::Parked
                                        || m_import.lines[size_t(line)].outcome == BankOutcome::ToRecord
                                        || m_import.lines[size_t(line)].outcome == BankOutcome::Dropped);
        m_assign->setEnabled(open);
        m_drop->setEnabled(open && m_import.lines[size_t(line)].outcome != BankOutcome::Dropped);
    });
    refilter();
    updateSummary();
    m_assign->setEnabled(false);
    m_drop->setEnabled(false);
}

ExtrasBancar::~ExtrasBancar() = default;

void ExtrasBancar::chooseFile()
{
    const QString path = chooseOpenFile(this, QStringLiteral("Extras de cont"),
                                        QStringLiteral("Extrase de cont (*.xml *.sta *.mt940 *.940 *.txt);;Toate fisierele (*)"));
    if (!path.isEmpty())
        loadFile(path);
}

bool ExtrasBancar::loadFile(const QString &path)
{
    try {
        m_import = planBankImport(m_db, m_session, readStatementFile(path));
    } catch (const VestroniaError &e) {
        m_import = {};
        showLines();
        mesaj(QStringLiteral("Extras bancar"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return false;
    }
    QStringList labels;
    for (const BankStatement &s : m_import.statements)
        labels << s.format + QLatin1Char(' ') + s.label() + QStringLiteral(", cont ") + s.account;
    m_file->setText(QFileInfo(path).fileName() + QStringLiteral(": ") + labels.join(QStringLiteral("; ")));
    const QString iban = serviceIban(m_session);
    if (!m_import.foreignAccounts.isEmpty())
        m_accountWarning->setText(QStringLiteral("Atentie! Extrasul este pentru contul %1, nu pentru contul serviciului %2.")
                                      .arg(m_import.foreignAccounts.join(QStringLiteral(", ")), iban));
    else if (iban.isEmpty())
        m_accountWarning->setText(QStringLiteral("Contul IBAN al serviciului nu este completat in Administrare: "
                                                 "nu se poate verifica daca extrasul este al serviciului."));
    m_accountWarning->setVisible(!m_import.foreignAccounts.isEmpty() || iban.isEmpty());
    showLines();
    moveToNextParked(0);
    m_lines->setFocus();
    return true;
}

void ExtrasBancar::showLines()
{
    m_lines->setRowCount(int(m_import.lines.size()));
    for (int i = 0; i < int(m_import.lines.size()); ++i)
        showLine(i);
    m_lines->resizeColumnsToContents();
    m_lines->setColumnWidth(4, qMin(m_lines->columnWidth(4), 360));
    m_lines->setColumnWidth(3, qMin(m_lines->columnWidth(3), 220));
    updateSummary();
}

void ExtrasBancar::showLine(int row)
{
    const BankLine &l = m_import.lines[size_t(row)];
    const BankEntry &e = l.entry;
    QString reason = matchReasonText(l.reason);
    if (l.idab && l.reason == MatchReason::None)
        reason = QStringLiteral("operator");
    const QStringList cells = {QString::number(l.position),
                               dayText(e.bookingDay),
                               (e.credit ? QString() : QStringLiteral("-")) + e.amount.toFixed(2)
                                   + (e.currency == QLatin1String("RON") ? QString() : QLatin1Char(' ') + e.currency),
                               e.payer,
                               e.text,
                               l.subscriber,
                               reason,
                               bankOutcomeText(l.outcome),
                               l.note};
    QColor colour = ToRecordColour;
    switch (l.outcome) {
    case BankOutcome::Parked:
        colour = ParkedColour;
        break;
    case BankOutcome::Recorded:
        colour = RecordedColour;
        break;
    case BankOutcome::Ignored:
    case BankOutcome::AlreadyRecorded:
    case BankOutcome::Dropped:
        colour = QuietColour;
        break;
    case BankOutcome::ToRecord:
        break;
    }
    for (int c = 0; c < int(cells.size()); ++c) {
        auto *item = new QTableWidgetItem(cells[c]);
        item->setBackground(colour);
        item->setToolTip(c == 4 || c == 8 ? cells[c] : QString());
        if (c == 2)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (l.outcome == BankOutcome::Dropped) {
            QFont f = item->font();
            f.setStrikeOut(true);
            item->setFont(f);
        }
        m_lines->setItem(row, c, item);
    }
}

void ExtrasBancar::updateSummary()
{
    int toRecord = 0, parked = 0, recorded = 0;
    Money sum;
    for (const BankLine &l : m_import.lines) {
        if (l.outcome == BankOutcome::ToRecord) {
            ++toRecord;
            sum += l.entry.amount;
        }
        parked += l.outcome == BankOutcome::Parked ? 1 : 0;
        recorded += l.outcome == BankOutcome::Recorded ? 1 : 0;
    }
    m_summary->setText(QStringLiteral("De inregistrat: %1 (%2 lei)   In asteptare: %3   Inregistrate: %4")
                           .arg(toRecord)
                           .arg(sum.toFixed(2))
                           .arg(parked)
                           .arg(recorded));
    m_record->setEnabled(toRecord > 0 && m_session.canModify());
}

void ExtrasBancar::refilter()
{
    SubscriberFilter f;
    f.name = cleanText(m_name->text()).toUpper();
    if (m_locality->currentIndex() > 0)
        f.locality = m_locality->currentText();
    if (m_street->currentIndex() > 0)
        f.street = m_street->currentText();
    f.number = m_number->text();
    f.today = Clock::todayDayNumber();
    m_visible = filterSubscribers(*m_register, f);
    // A long register is cut: the filters narrow it down.
    const int shown = int(qMin<size_t>(m_visible.size(), 500));
    m_subscribers->setRowCount(shown);
    static const char *const columns[] = {"NUME", "CNP", "ROL", "NRCON", "LOC", "STRADA", "NR"};
    for (int r = 0; r < shown; ++r)
        for (int c = 0; c < 7; ++c)
            m_subscribers->setItem(r, c, new QTableWidgetItem(m_register->text(m_visible[size_t(r)], QLatin1String(columns[c]))));
    if (shown > 0)
        m_subscribers->setCurrentCell(0, 0);
}

int ExtrasBancar::currentLine() const
{
    const int row = m_lines->currentRow();
    return row >= 0 && row < int(m_import.lines.size()) ? row : -1;
}

void ExtrasBancar::moveToNextParked(int from)
{
    for (int i = 0; i < int(m_import.lines.size()); ++i) {
        const int row = (from + i) % int(m_import.lines.size());
        if (m_import.lines[size_t(row)].outcome == BankOutcome::Parked) {
            m_lines->setCurrentCell(row, 0);
            return;
        }
    }
    if (!m_import.lines.empty() && m_lines->currentRow() < 0)
        m_lines->setCurrentCell(0, 0);
}

void ExtrasBancar::startAssigning()
{
    const int line = currentLine();
    if (line < 0)
        return;
    // The payer's name is the likeliest start of the search.
    m_name->setText(cleanText(m_import.lines[size_t(line)].entry.payer).toUpper());
    m_name->setFocus();
    m_name->selectAll();
}

void ExtrasBancar::assignCurrent()
{
    const int line = currentLine();
    const int row = m_subscribers->currentRow();
    if (line < 0 || row < 0 || row >= int(m_visible.size()))
        return;
    const qint64 idab = m_register->integer(m_visible[size_t(row)], QStringLiteral("IDAB"));
    try {
        assignLine(m_db, m_import, line, idab);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Extras bancar"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    showLine(line);
    updateSummary();
    const BankLine &l = m_import.lines[size_t(line)];
    if (l.outcome == BankOutcome::Parked) {
        mesaj(QStringLiteral("Extras bancar"), l.note, MesajButtons::OK, MesajKind::Atentie);
        return;
    }
    moveToNextParked(line + 1);
    m_lines->setFocus();
}

void ExtrasBancar::dropCurrent()
{
    const int line = currentLine();
    if (line < 0)
        return;
    dropLine(m_import, line);
    showLine(line);
    updateSummary();
    if (line + 1 < m_lines->rowCount())
        m_lines->setCurrentCell(line + 1, 0);
}

void ExtrasBancar::record()
{
    int count = 0;
    Money sum;
    for (const BankLine &l : m_import.lines)
        if (l.outcome == BankOutcome::ToRecord) {
            ++count;
            sum += l.entry.amount;
        }
    if (count == 0) {
        mesaj(QStringLiteral("Extras bancar"), QStringLiteral("Nu este nicio incasare de inregistrat."), MesajButtons::OK,
              MesajKind::Informatie);
        return;
    }
    if (!m_import.foreignAccounts.isEmpty()
        && mesaj(QStringLiteral("Atentionare"),
                 QStringLiteral("Extrasul este pentru contul %1, nu pentru contul serviciului %2.\rInregistrati totusi incasarile?")
                     .arg(m_import.foreignAccounts.join(QStringLiteral(", ")), serviceIban(m_session)),
                 MesajButtons::DaNu, MesajKind::Atentie)
               != MesajResult::Da)
        return;
    if (mesaj(QStringLiteral("Confirmare"),
              QStringLiteral("Inregistrati %1 incasari prin virament bancar, in suma de %2 lei?").arg(count).arg(sum.toFixed(2)),
              MesajButtons::DaNu, MesajKind::Confirmare)
        != MesajResult::Da)
        return;
    BankRecordSummary done;
    try {
        done = recordBankImport(m_db, m_session, m_import, m_progress ? *m_progress : Contor::instance());
    } catch (const VestroniaError &e) {
        showLines();
        mesaj(QStringLiteral("Extras bancar"), QStringLiteral("Extrasul nu a fost inregistrat:\r") + e.message(),
              MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    showLines();
    QString text = QStringLiteral("Au fost inregistrate %1 incasari, in suma de %2 lei.").arg(done.recorded).arg(done.sum.toFixed(2));
    if (done.parked > 0)
        text += QStringLiteral("\r%1 au ramas in asteptare.").arg(done.parked);
    mesaj(QStringLiteral("Extras bancar"), text, MesajButtons::OK, MesajKind::Informatie);
    moveToNextParked(0);
    m_lines->setFocus();
}

bool ExtrasBancar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lines && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Delete) {
            dropCurrent();
            return true;
        }
        if (isEnter(event)) {
            const int line = currentLine();
            if (line < 0)
                return true;
            const BankOutcome o = m_import.lines[size_t(line)].outcome;
            if (o == BankOutcome::Parked || o == BankOutcome::Dropped)
                startAssigning();
            else if (line + 1 < m_lines->rowCount())
                m_lines->setCurrentCell(line + 1, 0);
            else
                m_record->setFocus();
            return true;
        }
    }
    if (watched == m_subscribers && isEnter(event)) {
        assignCurrent();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace vestronia
