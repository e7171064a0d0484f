#pragma once
// Agricultural-register backups for the tests: the tables written by an outside dBase
// writer (tests/import/rg3fixture.py over python3-dbf) and packed by our archive writer
// into a ".rg3", plus archives crafted byte by byte for the damaged cases.

#include "backup/archive.h"
#include "core/progress.h"

#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

namespace vestronia::testing {

// A household register to write: rows per table as JSON objects keyed by field name.
struct RegisterSpec
{
    bool numeric = true;
    QJsonArray identificare;
    QJsonArray volume;
    QJsonArray cap1;
    QJsonObject omit;   // table file name -> array of fields left out
    QJsonArray skip;    // table file names not written

    void addVolume(int idvol, const QString &locality, int type)
    {
        volume.append(QJsonObject{{QStringLiteral("IDVOL"), idvol}, {QStringLiteral("LOCALIT"), locality},
                                  {QStringLiteral("TIPRA"), type}, {QStringLiteral("NRVOL"), idvol}});
    }
    void addHousehold(int idid, int idvol, const QString &street, const QString &nr, const QJsonObject &extra = {})
    {
        QJsonObject o{{QStringLiteral("IDID"), idid}, {QStringLiteral("IDVOL"), idvol},
                      {QStringLiteral("ROL"), QString::number(idid * 10)}, {QStringLiteral("STRADA1"), street},
                      {QStringLiteral("NR1"), nr}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            o.insert(it.key(), it.value());
        identificare.append(o);
    }
    void addMember(int idid, int year, int rand, const QString &surname, const QString &firstName,
                   const QJsonObject &extra = {})
    {
        QJsonObject o{{QStringLiteral("IDID"), idid}, {QStringLiteral("ANUL"), year}, {QStringLiteral("NUME"), surname},
                      {QStringLiteral("PRENUME"), firstName}};
        if (rand > 0)
            o.insert(QStringLiteral("RAND"), rand);
        for (auto it = extra.begin(); it != extra.end(); ++it)
            o.insert(it.key(), it.value());
        cap1.append(o);
    }
};

// Writes the tables into folder with the outside writer.
inline bool writeRegisterTables(const RegisterSpec &spec, const QString &folder)
{
    QDir().mkpath(folder);
    const QJsonObject o{{QStringLiteral("folder"), folder},
                        {QStringLiteral("numeric"), spec.numeric},
                        {QStringLiteral("omit"), spec.omit},
                        {QStringLiteral("skip"), spec.skip},
                        {QStringLiteral("Identificare.dbf"), spec.identificare},
                        {QStringLiteral("Volume.dbf"), spec.volume},
                        {QStringLiteral("Cap1.dbf"), spec.cap1}};
    const QString specPath = folder + QStringLiteral("/../rg3spec.json");
    QFile f(specPath);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QJsonDocument(o).toJson());
    f.close();
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral(VESTRONIA_SOURCE_DIR "/tests/import/rg3fixture.py"), specPath});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("rg3fixture.py: %s", p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// The tables written by the outside writer, packed as a backup at archivePath.
inline bool writeRegisterBackup(const RegisterSpec &spec, const QString &workFolder, const QString &archivePath)
{
    const QString tables = workFolder + QStringLiteral("/tables");
    QDir(tables).removeRecursively();
    if (!writeRegisterTables(spec, tables))
        return false;
    NullProgress quiet;
    return writeArchive(tables, archivePath, quiet) > 0;
}

// One entry of a hand-made archive: a name and the bytes its zlib stream holds; size -1
// means "declare the real size".
struct CraftedEntry
{
    QByteArray name;
    QByteArray data;
    qint32 declaredSize = -1;
    bool truncateStream = false;
};

inline QByteArray craftArchive(const QList<CraftedEntry> &entries)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s << qint32(entries.size());
    for (const CraftedEntry &e : entries) {
        s << qint32(e.name.size());
        s.writeRawData(e.name.constData(), int(e.name.size()));
        s << (e.declaredSize >= 0 ? e.declaredSize : qint32(e.data.size()));
        QByteArray stream = qCompress(e.data, 9).mid(4); // qCompress puts the size first
        if (e.truncateStream)
            stream.chop(stream.size() / 2);
        s.writeRawData(stream.constData(), int(stream.size()));
    }
    return out;
}

} // namespace vestronia::testing
