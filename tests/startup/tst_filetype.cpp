// The backup file type's registration: written once for a user, and never over a packaged one.

#include "core/session.h"
#include "startup/filetype.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace vestronia;

class TestFileType : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Fresh folders for each case, so one case's registration cannot answer for the next.
    void init()
    {
        m_userDir = std::make_unique<QTemporaryDir>();
        m_systemDir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_userDir->isValid());
        QVERIFY(m_systemDir->isValid());
        qputenv("XDG_DATA_HOME", m_userDir->path().toUtf8());
        qputenv("XDG_DATA_DIRS", m_systemDir->path().toUtf8());
        m_session.programFolder = m_userDir->path();
    }

    void writesTheUsersEntryWhenNoPackageDid()
    {
        registerBackupFileType(m_session);
        QVERIFY(QFile::exists(m_userDir->filePath(QStringLiteral("applications/vestronia.desktop"))));
        QVERIFY(QFile::exists(m_userDir->filePath(QStringLiteral("mime/packages/vestronia-backup.xml"))));
    }

    // A user's copy would hide the packaged entry and point at a removed program after a purge.
    void packagedEntryIsNotShadowedByAUserCopy()
    {
        QVERIFY(QDir(m_systemDir->path()).mkpath(QStringLiteral("applications")));
        QFile packaged(m_systemDir->filePath(QStringLiteral("applications/vestronia.desktop")));
        QVERIFY(packaged.open(QIODevice::WriteOnly));
        packaged.write("[Desktop Entry]\nType=Application\nName=Vestronia\n");
        packaged.close();

        registerBackupFileType(m_session);
        QVERIFY(!QFile::exists(m_userDir->filePath(QStringLiteral("applications/vestronia.desktop"))));
        QVERIFY(!QFile::exists(m_userDir->filePath(QStringLiteral("mime/packages/vestronia-backup.xml"))));
    }

private:
    std::unique_ptr<QTemporaryDir> m_userDir;
    std::unique_ptr<QTemporaryDir> m_systemDir;
    Session m_session;
};

QTEST_GUILESS_MAIN(TestFileType)
#include "tst_filetype.moc"
