// The collection dialog. The spread it shows is computed by the same allocation the
// recording uses, on every change of the amount, without writing anything.

#include "ui/collections/addchit.h"

#include "core/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "ui/shell/balloon.h"
#include "ui/shell/enternavigation.h"
#include "ui/shell/formbuttons.h"
#include "ui/shell/mesaj.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vestronia {

namespace {

QLineEdit *upperEdit(QWidget *parent, const QString &name, int maxLength)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setMaxLength(maxLength);
    QObject::connect(e, &QLineEdit::textEdited, e, [e](const QString &text) {
        const QString upper = text.toUpper();
        if (upper != text) {
            const int pos = e->cursorPosition();
            e->setText(upper);
            e->setCursorPosition(pos);
        }
    });
    return e;
}

} // namespace

AddChit::AddChit(Database &db, const Session &session, QWidget *parent) : QDialog(parent), m_db(db), m_session(session)
{
    setObjectName(QStringLiteral("AddChit"));
    setWindowTitle(QStringLiteral("Incasare / Plata"));

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("Label2"));
    m_title->setAlignment(Qt::AlignCenter);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);

    m_docJus = new QComboBox(this);
    m_docJus->setObjectName(QStringLiteral("DocJus"));
    m_docJus->addItems(collectionDocumentTypes());
    m_series = upperEdit(this, QStringLiteral("DocSeria"), 20);
    m_number = new QLineEdit(this);
    m_number->setObjectName(QStringLiteral("DocNr"));
    m_number->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^\\d{0,10}$")), m_number));
    m_autoNr = new QCheckBox(QStringLiteral("Numerotare automata"), this);
    m_autoNr->setObjectName(QStringLiteral("AutoNr"));
    m_autoNr->setChecked(true);
    m_amount = new QLineEdit(this);
    m_amount->setObjectName(QStringLiteral("Suma"));
    m_amount->setAlignment(Qt::AlignRight);
    m_amount->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("^-?\\d{0,7}([.,]\\d{0,2})?$")), m_amount));
    QFont big = m_amount->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    m_amount->setFont(big);
    m_payer = upperEdit(this, QStringLiteral("Platitor"), 120);
    m_purpose = upperEdit(this, QStringLiteral("Reprez"), 120);
    m_date = new QDateEdit(Clock::today(), this);
    m_date->setObjectName(QStringLiteral("DocData"));
    m_date->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    m_date->setCalendarPopup(true);

    m_spread = new QTableWidget(0, 5, this);
    m_spread->setObjectName(QStringLiteral("Repartizare"));
    m_spread->setHorizontalHeaderLabels({QStringLiteral("Debit"), QStringLiteral("Restanta"), QStringLiteral("Penalitati"),
                                         QStringLiteral("Curent"), QStringLiteral("Ramane")});
    m_spread->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_spread->verticalHeader()->hide();
    m_spread->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_spread->setFocusPolicy(Qt::NoFocus);
    m_spread->setMinimumHeight(140);
    m_spreadTotal = new QLabel(this);
    m_spreadTotal->setObjectName(QStringLiteral("RepartizareTotal"));

    const FormButtons row = makeFormButtons(this);
    m_memo = row.memo;
    m_close = row.close;

    auto *g = new QGridLayout;
    g->addWidget(new QLabel(QStringLiteral("Document"), this), 0, 0);
    g->addWidget(m_docJus, 0, 1);
    g->addWidget(new QLabel(QStringLiteral("Seria"), this), 0, 2);
    g->addWidget(m_series, 0, 3);
    g->addWidget(new QLabel(QStringLiteral("Numarul"), this), 0, 4);
    g->addWidget(m_number, 0, 5);
    g->addWidget(m_autoNr, 1, 1);
    g->addWidget(new QLabel(QStringLiteral("Din data"), this), 1, 4);
    g->addWidget(m_date, 1, 5);
    g->addWidget(new QLabel(QStringLiteral("INCASAT"), this), 2, 0);
    g->addWidget(m_amount, 2, 1, 1, 2);
    g->addWidget(new QLabel(QStringLiteral("LEI"), this), 2, 3);
    g->addWidget(new QLabel(QStringLiteral("Platitor"), this), 3, 0);
    g->addWidget(m_payer, 3, 1, 1, 5);
    g->addWidget(new QLabel(QStringLiteral("Ce reprezinta suma"), this), 4, 0);
    g->addWidget(m_purpose, 4, 1, 1, 5);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addLayout(g);
    layout->addWidget(new QLabel(QStringLiteral("Cum se repartizeaza suma:"), this));
    layout->addWidget(m_spread, 1);
    layout->addWidget(m_spreadTotal);
    layout->addLayout(row.row);
    setMinimumWidth(640);

    // Reading order, row by row; Enter moves on, the amount included.
    const QList<QWidget *> chain = {m_docJus, m_series, m_number, m_autoNr, m_date, m_amount, m_payer, m_purpose, m_memo};
    for (int i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    installEnterNavigation(this);

    connect(m_docJus, &QComboBox::currentIndexChanged, this, &AddChit::applyDocumentTypeRule);
    connect(m_autoNr, &QCheckBox::clicked, this, &AddChit::applyDocumentTypeRule);
    connect(m_amount, &QLineEdit::textChanged, this, &AddChit::updateSpread);
    connect(m_memo, &QPushButton::clicked, this, &AddChit::memoreaza);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
}

void AddChit::prepare(qint64 idab)
{
    m_idab = idab;
    m_recorded = {};
    m_proposal = proposeCollection(m_db, idab, Clock::todayDayNumber());
    m_title->setText(m_proposal.title);
    m_payer->setText(m_proposal.payer.toUpper());
    m_purpose->setText(m_proposal.purpose.toUpper());
    m_amount->setText(m_proposal.amount.toString());
    m_docJus->setCurrentIndex(0);
    applyDocumentTypeRule();
    updateSpread();
    setKeyboardFocus(m_docJus);
}

bool AddChit::run(qint64 idab)
{
    prepare(idab);
    return exec() == QDialog::Accepted;
}

int AddChit::spreadRowCount() const
{
    return m_spread->rowCount();
}

void AddChit::applyDocumentTypeRule()
{
    const QString type = m_docJus->currentText();
    const bool numbered = documentTypeIsNumbered(type);
    m_autoNr->setEnabled(numbered);
    m_series->setEnabled(!m_autoNr->isChecked());
    m_number->setEnabled(!m_autoNr->isChecked());
    const NumberProposal p = proposeNumber(m_session, type, m_autoNr->isChecked());
    if (p.setsSeries)
        m_series->setText(p.series);
    if (p.setsNumber)
        m_number->setText(QString::number(p.number));
}

void AddChit::updateSpread()
{
    const Money amount = Money::parse(m_amount->text()).value_or(Money());
    m_spread->setRowCount(0);
    if (m_idab <= 0)
        return;
    std::vector<AllocationRow> rows;
    try {
        rows = previewAllocation(m_db, m_idab, amount > Money() ? amount : Money(), Clock::todayDayNumber());
    } catch (const VestroniaError &) {
        return;
    }
    Money penalties;
    for (const AllocationRow &r : rows) {
        if (!r.touched())
            continue;
        const int i = m_spread->rowCount();
        m_spread->insertRow(i);
        const QStringList cells = {r.denum, r.resti.toFixed(2), r.penali.toFixed(2), r.curenti.toFixed(2), r.sold.toFixed(2)};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_spread->setItem(i, c, item);
        }
        penalties += r.penali;
    }
    m_spreadTotal->setText(QStringLiteral("Din care penalitati: ") + penalties.toFixed(2) + QStringLiteral(" lei"));
}

void AddChit::memoreaza()
{
    CollectionDraft d;
    d.idab = m_idab;
    d.docType = m_docJus->currentText();
    d.automaticNumber = m_autoNr->isEnabled() && m_autoNr->isChecked();
    d.series = m_series->text();
    d.number = m_number->text().toLongLong();
    d.amount = Money::parse(m_amount->text()).value_or(Money());
    d.day = dayNumberOf(m_date->date());
    d.payer = m_payer->text();
    d.purpose = m_purpose->text();
    d.title = m_proposal.title;
    // A bank transfer keeps what was typed; only numbered types take the automatic number.
    if (!documentTypeIsNumbered(d.docType))
        d.automaticNumber = false;
    CollectionOutcome o;
    try {
        o = recordCollection(m_db, m_session, d);
    } catch (const VestroniaError &e) {
        mesaj(QStringLiteral("Eroare"), e.message(), MesajButtons::OK, MesajKind::Eroare);
        return;
    }
    if (o.refusal) {
        QWidget *at = findChild<QWidget *>(o.refusal->field);
        showProblem(at ? at : m_amount, o.refusal->message);
        return;
    }
    m_recorded = o.recorded;
    m_series->setText(m_recorded.series);
    m_number->setText(QString::number(m_recorded.number));
    accept();
}

} // namespace vestronia
