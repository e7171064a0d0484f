#pragma once
// The command-line companion's shared parts: the context every command gets, the
// command registry (each subsystem's commands live in their own file and register
// themselves), and the output helpers that make every command print alike.

#include "core/session.h"
#include "store/database.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <optional>
#include <vector>

namespace vestronia::cli {

struct CliContext
{
    QString home;
    QString machine;
    Session session() const;
};

using CommandFunction = std::function<int(const CliContext &, const QStringList &)>;

struct Command
{
    QString name;
    QString usage;
    CommandFunction run;
};

// Every registered command, in the order of registration per file.
std::vector<Command> &commands();

// Registers commands from a file's static initialisation:
//     static const cli::Registrar reg({{"balance", "balance IDAB  ...", commandBalance}});
struct Registrar
{
    explicit Registrar(std::vector<Command> list);
};

QTextStream &out();
// "vestronia-cli: text" on standard error.
void printError(const QString &text);
// One line on the terminal: the program's messages use "\r" and "\n" as line breaks.
QString flatMessage(const QString &text);
// A PDF was asked for and could not be made: the saved workbook is copied beside the
// target, under its name with ".xls", and the user is told where. Returns the exit code 1.
int pdfNotMade(const QString &workbook, const QString &target);
// A value as CSV prints it: dates dd.MM.yyyy, reals with two decimals, quoted when needed.
QString csvField(const QVariant &value, const QString &declaredType = {});
// A header line, then one line per row.
void printCsv(const ResultSet &rows);
// A header line and one row of plain values.
void printCsvRow(const QStringList &header, const QStringList &values);

// Options of the form "--name value" taken out of args (the rest stays in order).
class Options
{
public:
    // names: the options that take a value; flags: those that do not.
    Options(QStringList &args, const QStringList &names, const QStringList &flags = {});
    bool ok() const { return m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    bool has(const QString &name) const;
    QString value(const QString &name) const;

private:
    QStringList m_names;
    QStringList m_values;
    QString m_error;
};

// Exit code 2 with the usage text of the command.
int usage(const QString &text);

} // namespace vestronia::cli
