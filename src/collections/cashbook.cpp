// The cash book's day view and cash-desk lines; each change is one transaction.

#include "collections/cashbook.h"

#include "collections/identifiers.h"
#include "core/clock.h"
#include "core/dates.h"
#include "core/session.h"
#include "core/text.h"
#include "store/changelog.h"
#include "store/database.h"

namespace vestronia {

namespace {
const Money MaxAmount = Money::fromUnits(999999999900LL);
}

QString cashBookCondition()
{
    return QStringLiteral("((DOCJUS='CHITANTA') OR (IDAB=-1)) AND ((ANULAT IS NULL) OR (ANULAT<>'X'))");
}

ResultSet cashDayRows(Database &db, int day)
{
    return db.select(QStringLiteral("SELECT * FROM Chitante WHERE ") + cashBookCondition() +
                         QStringLiteral(" AND DOCDATA=? ORDER BY IDCHIT"),
                     {day});
}

CashDay cashDay(Database &db, int day)
{
    CashDay d;
    // Every earlier row of the book, as the printed book carries it: the screen and the
    // paper show one balance for the same till.
    d.previous = Money::fromVariant(
        db.scalar(QStringLiteral("SELECT SUM(INCASAT-PLATIT) FROM Chitante WHERE ") + cashBookCondition() +
                      QStringLiteral(" AND DOCDATA<?"),
                  {day}));
    const ResultSet rows = cashDayRows(db, day);
    for (int i = 0; i < rows.rowCount(); ++i) {
        d.in += rows.money(i, QStringLiteral("INCASAT"));
        d.out += rows.money(i, QStringLiteral("PLATIT"));
    }
    return d;
}

QStringList cashDocumentTypes(Database &db, bool payment)
{
    const ResultSet r = db.select(payment ? QStringLiteral("SELECT DISTINCT DOCJUS FROM Chitante WHERE PLATIT>0 ORDER BY DOCJUS")
                                          : QStringLiteral("SELECT DISTINCT DOCJUS FROM Chitante WHERE INCASAT>0 ORDER BY DOCJUS"));
    QStringList out;
    for (int i = 0; i < r.rowCount(); ++i) {
        const QString t = r.text(i, QStringLiteral("DOCJUS")).trimmed();
        if (t.isEmpty() || t == QLatin1String("VIRAMENT BANCAR") || t == QLatin1String("BORD.SCADERE") ||
            t == QLatin1String("PLATA CU CARD") || out.contains(t))
            continue;
        out << t;
    }
    return out;
}

MaybeRefusal checkCashEntry(CashEntry &e)
{
    e.docType = cleanText(e.docType).toUpper().left(16);
    e.series = cleanText(e.series).toUpper().left(20);
    e.purpose = cleanText(e.purpose).left(120);
    e.amount = e.amount.roundedToCents();
    if (e.amount <= Money() || e.amount > MaxAmount)
        return Refusal::atField(QStringLiteral("Suma"), QStringLiteral("Suma incorecta!"));
    if (e.docType.isEmpty())
        return Refusal::atField(QStringLiteral("DocJus"), QStringLiteral("Nu ati scris ce reprezinta!"));
    if (e.number < 0 || e.number > 9999999999LL)
        return Refusal::atField(QStringLiteral("DocNr"), QStringLiteral("Numar de document incorect!"));
    if (!isDateSet(e.day))
        return Refusal::atField(QStringLiteral("DocData"), QStringLiteral("Data incorecta!"));
    // The book is kept day by day up to today; a typo in the year would otherwise sit in
    // the book until that day comes.
    if (e.day > Clock::todayDayNumber())
        return Refusal::atField(QStringLiteral("DocData"), QStringLiteral("Data documentului este dupa data de azi!"));
    return std::nullopt;
}

CashOutcome addCashEntry(Database &db, const Session &session, CashEntry e)
{
    requireWriteAccess(session);
    CashOutcome out;
    if ((out.refusal = checkCashEntry(e)))
        return out;
    Transaction tx(db);
    out.idchit = takeFreeId(db, session.sharedSettings(), QStringLiteral("IDCHIT"), QStringLiteral("Chitante"), QStringLiteral("IDCHIT"));
    db.exec(QStringLiteral("INSERT INTO Chitante (IDCHIT, IDAB, ANULAT, DOCJUS, DOCSERIA, DOCNR, DOCDATA, NUME, CNP, ROL, "
                           "STRADA, NR, NUMEPLAT, INCASAT, PLATIT, REPREZ) "
                           "VALUES (?, -1, '', ?, ?, ?, ?, '', '', '', '', '', '', ?, ?, ?)"),
            {out.idchit, e.docType, e.series, e.number, e.day, QVariant::fromValue(e.payment ? Money() : e.amount),
             QVariant::fromValue(e.payment ? e.amount : Money()), e.purpose});
    tx.commit();
    return out;
}

MaybeRefusal checkCashDeletion(Database &db, qint64 idchit)
{
    const QVariant idab = db.scalar(QStringLiteral("SELECT IDAB FROM Chitante WHERE IDCHIT=?"), {idchit});
    if (!idab.isValid() || idab.toLongLong() != -1)
        return Refusal::asMessage(QStringLiteral("Registru de casa"),
                                  QStringLiteral("\rIncasarile abonatilor se anuleaza din Evidenta abonatilor!"));
    return std::nullopt;
}

QString cashDeletionQuestion(Database &db, qint64 idchit)
{
    return QStringLiteral("\rDoriti sa stergeti ") +
           db.scalar(QStringLiteral("SELECT DOCJUS FROM Chitante WHERE IDCHIT=?"), {idchit}).toString().trimmed() +
           QStringLiteral("?");
}

MaybeRefusal deleteCashEntry(Database &db, const Session &session, qint64 idchit)
{
    requireWriteAccess(session);
    Transaction tx(db);
    if (MaybeRefusal r = checkCashDeletion(db, idchit))
        return r;
    db.exec(QStringLiteral("DELETE FROM Chitante WHERE IDCHIT=?"), {idchit});
    tx.commit();
    return std::nullopt;
}

} // namespace vestronia
