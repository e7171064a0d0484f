// The backup file type's registration: written once for a user, and never over a packaged one.

#include "core/session.h"
#include "startup/filetype.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vestronia;

class TestFileType : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_user.isValid());
        QVERIFY(m_system.isValid());
        qputenv("XDG_DATA_HOME", m_user.path().toUtf8());
        qputenv("XDG_DATA_DIRS", m_system.path().toUtf8());
        m_session.programFolder = m_user.path();
    }

    void writesTheUsersEntryWhenNoPackageDid()
    {
        registerBackupFileType(m_session);
        QVERIFY(QFile::exists(m_user.filePath(QStringLiteral("applications/vestronia.desktop"))));
        QVERIFY(QFile::exists(m_user.filePath(QStringLiteral("mime/packages/vestronia-backup.xml"))));
    }

    // A user's copy would hide the packaged entry and point at a removed program after a purge.
    void packagedEntryIsNotShadowedByAUserCopy()
    {
        QVERIFY(QDir(m_system.path()).mkpath(QStringLiteral("applications")));
        QFile packaged(m_system.filePath(QStringLiteral("applications/vestronia.desktop")));
        QVERIFY(packaged.open(QIODevice::WriteOnly));
        packaged.write("[Desktop Entry]\nType=Application\nName=Vestronia\n");
        packaged.close();

        registerBackupFileType(m_session);
        QVERIFY(!QFile::exists(m_user.filePath(QStringLiteral("applications/vestronia.desktop"))));
        QVERIFY(!QFile::exists(m_user.filePath(QStringLiteral("mime/packages/vestronia-backup.xml"))));
    }

private:
    QTemporaryDir m_user;
    QTemporaryDir m_system;
    Session m_session;
};

QTEST_GUILESS_MAIN(TestFileType)
#include "tst_filetype.moc"
