// Template copy, open and save of a report; the copy never outlives the report.

#include "reports/reportframe.h"

#include "core/error.h"
#include "core/workfiles.h"
#include "reports/templateresource.h"
#include "xls/xlserror.h"

#include <QDir>
#include <QFile>

namespace vestronia {

ReportFrame::ReportFrame(const QString &tempFolder, const QString &resource, const QString &copyPrefix)
    : m_writer(tempFolder)
{
    m_copy = newWorkFile(tempFolder, copyPrefix, QStringLiteral(".xls"));
    if (m_copy.isEmpty())
        throw FileError(QStringLiteral("Nu exista un nume liber pentru sablonul %1 in dosarul %2.")
                            .arg(resource, QDir::toNativeSeparators(tempFolder)));
    writeTemplateResource(resource, m_copy);
    if (!m_writer.openTemplate(m_copy))
        throw XlsError(QStringLiteral("There is no open file"));
}

ReportFrame::~ReportFrame()
{
    if (m_writer.isOpen())
        m_writer.workbook().close();
    QFile::remove(m_copy);
}

QString ReportFrame::finish()
{
    return m_writer.finish();
}

} // namespace vestronia
