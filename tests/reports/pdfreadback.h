#pragma once
// Reports read back as a user prints them: LibreOffice headless turns the workbooks into
// PDF in one run, pdftotext gives the words with their boxes (to see how high the
// smallest text prints).

#include "xls/xlstesttools.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>

namespace vestronia::testing {

struct PrintedWord
{
    QString text;
    double height = 0; // points
    int page = 0;
};

struct PrintedDocument
{
    QString text;               // pdftotext -layout
    QString flow;               // the text in drawing order, blanks collapsed to one space
    QList<PrintedWord> words;   // pdftotext -bbox
    int pages = 0;
    bool ok = false;
};

// Every workbook of the list as PDF in outDir (one LibreOffice run), then read back.
inline QMap<QString, PrintedDocument> printDocuments(const QStringList &workbooks, const QString &outDir)
{
    QMap<QString, PrintedDocument> out;
    QString error;
    if (!xlstest::sofficeConvert(workbooks, QStringLiteral("pdf"), outDir, &error)) {
        qWarning("%s", qPrintable(error));
        return out;
    }
    for (const QString &xls : workbooks) {
        PrintedDocument doc;
        const QString pdf = outDir + QLatin1Char('/') + QFileInfo(xls).completeBaseName() + QStringLiteral(".pdf");
        QString html;
        QString raw;
        if (xlstest::run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}, &doc.text)
            && xlstest::run(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")}, &raw)
            && xlstest::run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")}, &html)) {
            static const QRegularExpression word(
                QStringLiteral("<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" yMax=\"([-0-9.]+)\">([^<]*)</word>"));
            static const QRegularExpression page(QStringLiteral("<page "));
            const QStringList pages = html.split(page);
            for (int p = 1; p < pages.size(); ++p) {
                auto it = word.globalMatch(pages[p]);
                while (it.hasNext()) {
                    const auto m = it.next();
                    doc.words.append({m.captured(5), m.captured(4).toDouble() - m.captured(2).toDouble(), p});
                }
            }
            doc.flow = raw.simplified();
            doc.pages = int(pages.size()) - 1;
            doc.ok = true;
        }
        out.insert(xls, doc);
    }
    return out;
}

// The values of a list that do not print whole (a wrapped text counts as whole).
inline QStringList cutValues(const PrintedDocument &doc, const QStringList &values)
{
    QStringList cut;
    for (const QString &v : values)
        if (!doc.flow.contains(v.simplified()))
            cut << v;
    return cut;
}

// Placeholders a template may still hold: "%NRCRT", "#NAME", "[KEY]".
inline QStringList placeholdersIn(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("(%NRCRT|#[A-Za-z_][A-Za-z0-9_]*|\\[[A-Za-z]+\\])"));
    QStringList found;
    auto it = re.globalMatch(text);
    while (it.hasNext())
        found << it.next().captured(1);
    return found;
}

// The height of the smallest word printed (points); 0 without words.
inline double smallestText(const PrintedDocument &doc)
{
    double least = 0;
    for (const PrintedWord &w : doc.words)
        if (least == 0 || w.height < least)
            least = w.height;
    return least;
}

} // namespace vestronia::testing
