#pragma once
// The frame every template report shares: the template copy written from the program's
// resources under a fresh name, the report writer opened on it, and the copy removed
// when the report is done.

#include "reports/reportwriter.h"

#include <QString>

namespace vestronia {

class ReportFrame
{
public:
    // Writes the template resource `resource` to newWorkFile(tempFolder, copyPrefix,
    // ".xls") and opens it with the built-in engine. Throws FileError when no free name
    // exists or the copy cannot be written, XlsError when the template does not open.
    ReportFrame(const QString &tempFolder, const QString &resource, const QString &copyPrefix);
    ~ReportFrame();
    ReportFrame(const ReportFrame &) = delete;
    ReportFrame &operator=(const ReportFrame &) = delete;

    ReportWriter &writer() { return m_writer; }
    Workbook &workbook() { return m_writer.workbook(); }
    // Saves the output without showing it; returns its path.
    QString finish();

private:
    QString m_copy;
    ReportWriter m_writer;
};

} // namespace vestronia
