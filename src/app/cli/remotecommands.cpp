// The remote backup and the suggestions book on the command line: the same services as
// the windows, the account taken from Local.set or --email/--password.

#include "app/cli/cli.h"

#include "backup/localbackup.h"
#include "backup/remoteclient.h"
#include "core/profilefile.h"
#include "core/terminalprogress.h"
#include "core/text.h"
#include "startup/adminsettings.h"
#include "suggestions/suggestion.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace vestronia::cli {

namespace {

QString administrationPlace(const Session &session)
{
    const QString locality = ProfileFile::readText(session.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("LOCALIT"));
    const qint64 county = ProfileFile::readNumber(session.sharedSettings(), QStringLiteral("CONST"), QStringLiteral("JUDET"));
    return locality + QLatin1Char('/') + countyNames().value(int(county));
}

int transportFailure(const RemoteReply &r)
{
    printError(QStringLiteral("Transmitere date: ") + r.error + (r.detail.isEmpty() ? QString() : QStringLiteral(" (") + r.detail + QLatin1Char(')')));
    return 1;
}

// Shows the server's messages; false (after the message) when the password is wrong.
bool replyAccepted(const RemoteReply &r)
{
    for (const QString &m : r.messages)
        std::fprintf(stderr, "Mesaj de la Server: %s\n", m.toLocal8Bit().constData());
    if (r.wrongPassword) {
        printError(QStringLiteral("Conectare la server: Parola este incorecta!"));
        return false;
    }
    return true;
}

// The server says no with a message: on a backup action (send, fetch, delete) it sends
// none when the action was done, so any message there is its refusal, already shown.
bool refusedWithMessage(const RemoteReply &r, const QString &title)
{
    if (r.messages.isEmpty())
        return false;
    printError(title + QStringLiteral(": serverul a refuzat cererea."));
    return true;
}

int commandRemote(const CliContext &ctx, const QStringList &argsIn)
{
    QStringList args = argsIn;
    Options opt(args, {QStringLiteral("email"), QStringLiteral("password"), QStringLiteral("note"), QStringLiteral("server")});
    if (!opt.ok() || args.isEmpty())
        return usage(QStringLiteral("remote login|info|code COD|sendpass|passwd PAROLA|put [--note TEXT]|list|get IDSTOC|delete IDSTOC [--email E --password P] [--server HOST:PORT]"));
    const Session session = ctx.session();
    const QString action = args.takeFirst();

    RememberedAccount account = loadRememberedAccount(session);
    if (opt.has(QStringLiteral("email")))
        account.email = cleanText(opt.value(QStringLiteral("email")));
    if (opt.has(QStringLiteral("password")))
        account.password = cleanText(opt.value(QStringLiteral("password"))).toUpper();
    if (!isValidEmail(account.email)) {
        printError(QStringLiteral("Email incorect!!"));
        return 1;
    }
    if (account.password.isEmpty()) {
        printError(QStringLiteral("Lipseste parola!!"));
        return 1;
    }
    RemoteClient client(session, account.email, account.password, administrationPlace(session));
    if (opt.has(QStringLiteral("server"))) {
        const std::optional<ServerAddress> a = parseServerAddress(opt.value(QStringLiteral("server")).toLatin1());
        if (!a) {
            printError(QStringLiteral("Adresa serverului este gresita."));
            return 2;
        }
        client.setServer(*a);
    }
    TerminalProgress progress;
    client.setProgress(&progress);

    auto infoLine = [](const RemoteReply &r) {
        printCsvRow({QStringLiteral("CONFIRMAT"), QStringLiteral("DATAIN"), QStringLiteral("DATAEXP"), QStringLiteral("EXPIRAT")},
                    {r.needsConfirmation ? QStringLiteral("NU") : QStringLiteral("DA"), r.dataIn, r.dataExp,
                     r.expired() ? QStringLiteral("DA") : QStringLiteral("NU")});
    };
    auto refuseExpired = [](const RemoteReply &r, const QString &title) {
        if (!r.expired())
            return false;
        printError(title + QStringLiteral(": Contul dvs a expirat!"));
        return true;
    };

    if (action == QLatin1String("login") || action == QLatin1String("info")) {
        const RemoteReply r = client.info();
        if (!r.ok)
            return transportFailure(r);
        if (!replyAccepted(r))
            return 1;
        if (action == QLatin1String("login")) {
            account.remember = true;
            storeRememberedAccount(session, account);
        }
        infoLine(r);
        return 0;
    }
    if (action == QLatin1String("code")) {
        bool ok = false;
        const qint64 code = args.value(0).toLongLong(&ok);
        if (!ok || args.value(0).size() > 6 || code < 0) {
            printError(QStringLiteral("Cod incorect!"));
            return 1;
        }
        const RemoteReply r = client.checkCode(code);
        if (!r.ok)
            return transportFailure(r);
        if (!replyAccepted(r))
            return 1;
        if (r.needsConfirmation) {
            printError(QStringLiteral("Verificare Cod: Codul introdus este incorect!"));
            return 1;
        }
        infoLine(r);
        return 0;
    }
    if (action == QLatin1String("sendpass")) {
        const RemoteReply r = client.emailPassword();
        if (!r.ok)
            return transportFailure(r);
        replyAccepted(r);
        // Only this answer means a mail went out; a limit or a failed mail is a refusal.
        for (const QString &m : r.messages)
            if (m.startsWith(QLatin1String("Parola noua a fost trimisa")))
                return 0;
        printError(QStringLiteral("Parola nu a fost trimisa."));
        return 1;
    }
    if (action == QLatin1String("passwd")) {
        const QString fresh = cleanText(args.value(0)).toUpper().left(40);
        if (fresh.isEmpty()) {
            printError(QStringLiteral("Nu ati scris nicio parola!"));
            return 1;
        }
        const RemoteReply r = client.setPassword(fresh);
        if (!r.ok)
            return transportFailure(r);
        if (!replyAccepted(r))
            return 1;
        if (passwordChangeRefused(r)) {
            printError(QStringLiteral("Schimbare parola: Parola nu a fost schimbata!"));
            return 1;
        }
        if (account.remember) {
            account.password = fresh;
            storeRememberedAccount(session, account);
        }
        return 0;
    }

    // The actions on backups need a confirmed account that has not expired.
    const RemoteReply info = client.info();
    if (!info.ok)
        return transportFailure(info);
    if (!replyAccepted(info))
        return 1;
    if (info.needsConfirmation) {
        printError(QStringLiteral("Contul nu este confirmat: folositi remote code COD."));
        return 1;
    }
    if (action == QLatin1String("put")) {
        if (refuseExpired(info, QStringLiteral("Salvare pe server")))
            return 1;
        const QString srv = client.srvPath();
        if (QFile::exists(srv) && !QFile::remove(srv)) {
            printError(QStringLiteral("Salvare pe server: Salvarea nu s-a facut!"));
            return 1;
        }
        try {
            packDataFolder(session, srv, progress);
        } catch (const VestroniaError &e) {
            printError(QStringLiteral("Salvare pe server: Salvarea nu s-a facut! (") + flatMessage(e.message()) + QLatin1Char(')'));
            return 1;
        }
        const RemoteReply r = client.putFile(srv, opt.value(QStringLiteral("note")));
        QFile::remove(srv);
        if (!r.ok) {
            transportFailure(r);
            printError(QStringLiteral("Salvare pe server: Salvarea nu s-a facut!"));
            return 1;
        }
        if (!replyAccepted(r))
            return 1;
        if (refusedWithMessage(r, QStringLiteral("Salvare pe server"))) {
            printError(QStringLiteral("Salvare pe server: Salvarea nu s-a facut!"));
            return 1;
        }
        std::fprintf(stderr, "Terminat.\n");
        return 0;
    }
    if (action == QLatin1String("list")) {
        const RemoteReply r = client.getStock();
        if (!r.ok)
            return transportFailure(r);
        if (!replyAccepted(r))
            return 1;
        const QString stoc = session.tempFolder + QStringLiteral("/Stoc.dbf");
        if (!QFileInfo::exists(stoc)) {
            printError(QStringLiteral("Serverul nu a trimis lista salvarilor."));
            return 1;
        }
        out() << "IDSTOC,DATA,ORA,OBS\n";
        for (const StockRow &row : readStock(stoc))
            out() << row.id << ',' << row.dateText() << ',' << row.timeText() << ',' << csvField(row.obs) << '\n';
        out().flush();
        QFile::remove(stoc);
        return 0;
    }
    bool ok = false;
    const qint64 id = args.value(0).toLongLong(&ok);
    if (!ok || id <= 0)
        return usage(QStringLiteral("remote get|delete IDSTOC"));
    if (action == QLatin1String("delete")) {
        if (refuseExpired(info, QStringLiteral("Stergere Salvare")))
            return 1;
        const RemoteReply r = client.deleteBackup(id);
        if (!r.ok)
            return transportFailure(r);
        return replyAccepted(r) && !refusedWithMessage(r, QStringLiteral("Stergere Salvare")) ? 0 : 1;
    }
    if (action == QLatin1String("get")) {
        if (refuseExpired(info, QStringLiteral("Incarcare date")))
            return 1;
        const RemoteReply r = client.getFile(id);
        if (!r.ok)
            return transportFailure(r);
        if (!replyAccepted(r) || refusedWithMessage(r, QStringLiteral("Incarcare date"))) {
            QFile::remove(session.tempFolder + QLatin1Char('/') + QString::number(id));
            return 1;
        }
        const QString file = session.tempFolder + QLatin1Char('/') + QString::number(id);
        if (!QFileInfo::exists(file)) {
            printError(QStringLiteral("Incarcare date: serverul nu a trimis salvarea."));
            return 1;
        }
        try {
            restoreFromArchive(session, file, progress);
        } catch (const BackupError &e) {
            QFile::remove(file);
            printError(e.title() + QStringLiteral(": ") + flatMessage(e.message()));
            return 1;
        }
        QFile::remove(file);
        std::fprintf(stderr, "Restaurare incheiata cu succes !\n");
        return 0;
    }
    return usage(QStringLiteral("remote login|info|code|sendpass|passwd|put|list|get|delete"));
}

int commandSuggest(const CliContext &ctx, const QStringList &argsIn)
{
    QStringList args = argsIn;
    Options opt(args, {QStringLiteral("name"), QStringLiteral("place"), QStringLiteral("phone"), QStringLiteral("mail")});
    if (!opt.ok() || args.isEmpty())
        return usage(QStringLiteral("suggest --name NUME --place LOCALITATE --phone TELEFON --mail EMAIL TEXT"));
    const Session session = ctx.session();
    SuggestionForm form;
    form.nume = opt.value(QStringLiteral("name"));
    form.comuna = opt.value(QStringLiteral("place")).toUpper();
    form.telefon = opt.value(QStringLiteral("phone")).toUpper();
    form.mail = opt.value(QStringLiteral("mail"));
    form.produs = args.join(QLatin1Char(' '));
    const SuggestionCheck check = checkSuggestion(form);
    if (!check.ok()) {
        printError(check.message);
        return 1;
    }
    if (!sendSuggestion(session, check.query)) {
        printError(QStringLiteral("Transmitere Sugestie: Mesajul nu poate fi transmis!"));
        return 1;
    }
    rememberSuggestionContact(session, form);
    std::fprintf(stderr, "Mesajul a fost transmis!\n");
    return 0;
}

const Registrar registrar({
    {QStringLiteral("remote"),
     QStringLiteral("remote login|info|code COD|sendpass|passwd P|put [--note T]|list|get ID|delete ID   copii la distanta"),
     commandRemote},
    {QStringLiteral("suggest"),
     QStringLiteral("suggest --name N --place L --phone T --mail E TEXT   trimite o sugestie"), commandSuggest},
});

} // namespace

} // namespace vestronia::cli
