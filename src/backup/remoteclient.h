#pragma once
// The remote backup client's services, without windows: the server address from the
// web host, the account login and its remembered form, and one function per command of
// the server (account data, code check, password by e-mail, password change, send a
// backup, list, delete, fetch). Each returns what the reply said; the windows and the
// command line decide what to show.

#include "backup/remoteexchange.h"
#include "core/progress.h"
#include "core/session.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace vestronia {

// The e-mail rule of the login and of the suggestions book: an "@" at position 4 or
// later with at least 5 characters after it; only letters, digits, '-', '.', '_' on
// both sides; the part after the first dot of the domain 2 or 3 characters long.
bool isValidEmail(const QString &email);

// Remembered account text: each character as three decimal digits ("abc" ->
// "097098099"), and back (groups of three digits; anything else is dropped).
QString encodeCharCodes(const QString &text);
QString decodeCharCodes(const QString &codes);

struct RememberedAccount
{
    bool remember = false; // MEMOPASS "DA"
    QString email;
    QString password;
};
RememberedAccount loadRememberedAccount(const Session &session);
// With remember: EM, PS and MEMOPASS "DA"; otherwise only MEMOPASS "NU". Throws FileError.
void storeRememberedAccount(const Session &session, const RememberedAccount &account);

// The web host that publishes the server address ("host", "host:port", or with
// "https://" in front for HTTPS): the key ServerWeb of section "88" of the machine
// settings file; empty when not set.
QString webHost(const Session &session);
// The web host as the start of an address: "http://host" or the "https://host" given;
// empty when not set.
QString webBaseUrl(const Session &session);

// The workstation's TLS choice for the backup server (section "88" of the machine
// settings): ServerTLS "DA" asks for TLS; ServerSHA256, the hex SHA-256 of the server's
// certificate, pins it (and implies TLS). Without a pin the system's authorities verify.
struct TlsSettings
{
    bool tls = false;
    QByteArray pinnedSha256;
};
TlsSettings tlsSettings(const Session &session);

// GET over HTTP or HTTPS with a bound on the answer's size and on time; nothing when the
// request fails, is refused or the answer is larger than maxBytes. Over HTTPS a pinned
// SHA-256 stands in for the system's authorities.
std::optional<QByteArray> httpGet(const QString &url, qint64 maxBytes = 64 * 1024, int timeoutMs = 30000,
                                  const QByteArray &pinnedSha256 = {});

struct ServerAddress
{
    QString host;
    quint16 port = 1235;
    bool tls = false; // the address file's second line "TLS"
};
// Reads the address file's text: trimmed, more than 6 and at most 20 characters, its
// first line "host" or "host:port", a second line "TLS" when the server wants TLS.
// Nothing otherwise.
std::optional<ServerAddress> parseServerAddress(const QByteArray &text);
// Downloads the address file from the web host; nothing when there is no host, no
// answer or no valid address.
std::optional<ServerAddress> fetchServerAddress(const Session &session);

struct RemoteReply
{
    bool ok = false;        // the exchange worked and a reply was read
    QString error;          // the transport's text when not ok
    QString detail;
    bool wrongPassword = false;     // "/PASS NO"
    bool needsConfirmation = false; // "/CODCONF NO"
    QString dataIn;
    QString dataExp;
    double nowServer = 0; // date-time number: whole part is the day number
    QStringList messages; // "/MSG_DLG" texts, in order
    QStringList attachments; // written into the Temp folder
    // Whether the account's expiry date is before the server's day.
    bool expired() const;
};

// Whether the reply to a password change says it was refused (a message other than the
// server's "Parola a fost schimbata.").
bool passwordChangeRefused(const RemoteReply &r);

struct StockRow
{
    qint64 id = 0;
    double dataOra = 0;
    QString obs;
    QString dateText() const; // dd.MM.yyyy
    QString timeText() const; // HH:mm:ss
};

class RemoteClient
{
public:
    // place: the Administration locality + "/" + county, sent in the login room.
    RemoteClient(const Session &session, QString email, QString password, QString place);

    // Overrides the address look-up (tests, --server on the command line).
    void setServer(const ServerAddress &address) { m_fixedServer = address; }
    void setTimeouts(int waitMs, int silenceMs, int pingMs);
    void setProgress(Progress *progress) { m_progress = progress; }
    void setStopFlag(std::function<bool()> stop) { m_stop = std::move(stop); }

    QByteArray userName() const;
    QByteArray room() const;

    RemoteReply info();
    RemoteReply checkCode(qint64 code); // "/CHECKCOD 000123" then "/INFO"
    RemoteReply emailPassword();
    RemoteReply setPassword(const QString &newPassword);
    // Sends the archive at srvPath with the note (cleaned, "***" when empty, first 120).
    RemoteReply putFile(const QString &srvPath, const QString &note);
    RemoteReply getStock(); // attachment Stoc.dbf
    RemoteReply deleteBackup(qint64 idStoc);
    RemoteReply getFile(qint64 idStoc); // attachment named by the id

    // One exchange with any command lines and attached files.
    RemoteReply exchange(const QStringList &commands, const QStringList &attachments = {});

    // The note as sent: cleaned, "***" when empty, at most 120 characters.
    static QString backupNote(const QString &typed);
    // "Srv" in the Temp folder.
    QString srvPath() const;

private:
    Session m_session;
    QString m_email;
    QString m_password;
    QString m_place;
    std::optional<ServerAddress> m_fixedServer;
    ExchangeSettings m_timing;
    Progress *m_progress = nullptr;
    std::function<bool()> m_stop;
};

// The rows of a Stoc.dbf list, in file order. Throws on a file that cannot be read.
QList<StockRow> readStock(const QString &stocPath);
// Removes one row of the local list (after it was deleted on the server).
void deleteStockRow(const QString &stocPath, qint64 idStoc);

} // namespace vestronia
