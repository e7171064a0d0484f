#pragma once
// The three tables of a generated agricultural register (Volume, Identificare, Cap1),
// written with our own dBase writer: ten localities of type 1, three living members per
// household, some households in blocks. For the benchmark and the screenshots.

#include "store/database.h"
#include "store/dbftable.h"

#include <QDir>
#include <QString>

namespace vestronia::bench {

inline DbfColumn col(const char *name, char type, int length, int decimals = 0)
{
    return DbfColumn{QLatin1String(name), type, length, decimals};
}

// The three tables of the other program, written with our own dBase writer.
inline void writeRegister(const QString &folder, int households, int year)
{
    QDir().mkpath(folder);
    createTable(folder + QStringLiteral("/Volume.dbf"),
                QList<DbfColumn>{col("IDVOL", 'N', 10), col("LOCALIT", 'C', 40), col("TIPRA", 'N', 2)});
    createTable(folder + QStringLiteral("/Identificare.dbf"),
                QList<DbfColumn>{col("IDID", 'N', 10), col("IDVOL", 'N', 10), col("ROL", 'C', 9), col("STRADA1", 'C', 40),
                                 col("NR1", 'C', 8), col("BLOC1", 'C', 6), col("SCARA1", 'C', 4), col("APART1", 'C', 5),
                                 col("ANULAT", 'C', 2)});
    createTable(folder + QStringLiteral("/Cap1.dbf"),
                QList<DbfColumn>{col("IDID", 'N', 10), col("ANUL", 'N', 4), col("RAND", 'N', 4), col("NUME", 'C', 40),
                                 col("INIT", 'C', 3), col("PRENUME", 'C', 40), col("CNP", 'C', 13), col("DECEDAT", 'C', 2)});
    Database db(folder);
    db.attach(QStringLiteral("V"), folder + QStringLiteral("/Volume.dbf"));
    db.attach(QStringLiteral("I"), folder + QStringLiteral("/Identificare.dbf"));
    db.attach(QStringLiteral("C"), folder + QStringLiteral("/Cap1.dbf"));
    Transaction tx(db);
    for (int v = 1; v <= 10; ++v)
        db.exec(QStringLiteral("INSERT INTO V VALUES (?, ?, 1)"), {v, QStringLiteral("LOCALITATEA %1").arg(v)});
    Statement ident = db.prepare(QStringLiteral("INSERT INTO I VALUES (?, ?, ?, ?, ?, ?, '', ?, '')"));
    Statement member = db.prepare(QStringLiteral("INSERT INTO C VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    for (int h = 1; h <= households; ++h) {
        ident.exec({h, 1 + h % 10, QString::number(h), QStringLiteral("STRADA %1").arg(h % 40), QString::number(h % 200),
                    h % 7 == 0 ? QStringLiteral("B%1").arg(h % 9) : QString(), h % 7 == 0 ? QString::number(h % 30) : QString()});
        for (int r = 1; r <= 3; ++r)
            member.exec({h, year, r, QStringLiteral("NUME%1").arg(h), QStringLiteral("I"), QStringLiteral("PRENUME%1").arg(r),
                         QStringLiteral("1%1").arg(h, 12, 10, QLatin1Char('0')), QString()});
    }
    tx.commit();
}


} // namespace vestronia::bench
