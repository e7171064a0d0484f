#pragma once
// The administration settings: unit name, locality and county, receipt series and the
// next document numbers, PDF receipts, the network data folder, the automatic-backup
// folder and the administrator password. Loaded once at start into adminSettings(); the
// administration window edits them and other screens read them from there. No widgets.
//
// Where each value lives:
//   shared settings file  CONST: UNITATE, LOCALIT, JUDET, CHITSERIA, CHITPDF ("DA"/"NU");
//                         INDEX counters CHITNR, NCNR; INIT: WIN (encoded password)
//   workstation file      CONST: SERVER (network data folder; empty = local work)
//   machine file          section "88": CALESALVARI (automatic-backup folder; "-" = off)

#include "core/session.h"

#include <QString>
#include <QStringList>

namespace vestronia {

struct AdminSettings
{
    QString unitName;                         // UNITATE
    QString locality;                         // LOCALIT
    int county = 0;                           // JUDET, position in countyNames()
    bool receiptPdf = false;                  // CHITPDF == "DA"
    QString serverPath = QStringLiteral("-"); // shown path; "-" when local work
    QString backupFolder = QStringLiteral("-"); // "-" = automatic backup off

    // Whether the automatic-backup folder is set and exists (the closing question about
    // an automatic copy depends on it).
    bool automaticBackupFolderExists() const;
};

// The settings of this run (loaded by the start-up sequence).
AdminSettings &adminSettings();

// The 42 counties in list order; JUDET stores the position.
const QStringList &countyNames();

// Where the automatic-backup folder goes when none is stored yet, in order of preference:
// the user's documents folder + "/Salvari_Date", then the home folder + "/Salvari_Date".
QStringList defaultBackupFolderCandidates();

// Loads everything the window shows at start. An empty CALESALVARI takes the first
// candidate folder that exists or can be created and is writable, and stores it; when
// none works the folder shows "-" and nothing is stored.
void loadAdminSettings(const Session &session, AdminSettings &settings,
                       const QStringList &backupCandidates = defaultBackupFolderCandidates());

// The values read anew each time the window opens.
struct AdminNumbers
{
    QString receiptSeries;  // CHITSERIA
    qint64 receiptNumber = 1; // counter CHITNR, peeked
    qint64 noteNumber = 1;    // counter NCNR, peeked
};
AdminNumbers readAdminNumbers(const Session &session);

// Saves the window's values. A counter is written only when its number differs from the
// one shown at opening, so numbers taken meanwhile on another workstation are not undone.
// Locality and unit name pass through cleanText. Throws FileError when a file cannot be
// written.
void saveAdminSettings(const Session &session, const AdminSettings &settings, const AdminNumbers &edited,
                       const AdminNumbers &shownAtOpening);

// The administrator password (key WIN, encoded with CodeazaStr).
bool administratorPasswordSet(const Session &session);
// Whether the typed password is the stored one. An empty typed text never matches.
bool administratorPasswordMatches(const Session &session, const QString &typed);
// Stores the encoding of the password; an empty password removes it.
void setAdministratorPassword(const Session &session, const QString &password);

// Choosing a network data folder.
enum class ServerFolderCheck {
    Accepted,   // every table of the list is there
    IsDataFolder, // the current or the local data folder: refused
    Incomplete, // a table is missing
};
ServerFolderCheck checkServerFolder(const Session &session, const QString &folder);
// Stores SERVER (empty = back to local work) and updates the shown path.
void setServerFolder(const Session &session, AdminSettings &settings, const QString &folder);

// The write test of an automatic-backup folder: creates and deletes folder + "/test.txt".
bool canWriteInFolder(const QString &folder);
// Stores CALESALVARI; "-" turns the automatic backup off for good (the default is not
// applied again at the next start).
void setBackupFolder(const Session &session, AdminSettings &settings, const QString &folder);

// A chosen folder without its trailing separator.
QString withoutTrailingSeparator(const QString &folder);

} // namespace vestronia
