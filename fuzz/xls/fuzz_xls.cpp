// libFuzzer target of the workbook reader: the input is a compound file (OLE2 signature)
// or else a bare BIFF8 stream. Whatever it holds must end in a clean XlsError or in a
// workbook that survives the edits the reports make, and what we then write must read
// back. Built only with -DVESTRONIA_FUZZ=ON (clang).

#include "xls/workbook.h"
#include "xls/xlserror.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace vestronia;

// libgsf 1.14 loses a few directory entries of some damaged compound files; that is the
// library's, bounded by the file, and not a leak of ours. The fast unwinder stops inside
// GLib's allocator, so GLib is named too (only libgsf allocates through it here).
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libgsf-1.so\nleak:libglib-2.0.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    static const char signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    Workbook wb;
    try {
        if (size >= 8 && std::memcmp(data, signature, 8) == 0)
            wb.openBytes(bytes);
        else
            wb.openStream(bytes);
    } catch (const XlsError &) {
        return 0;
    }
    try {
        for (int s = 1; s <= wb.sheetCount(); ++s) {
            try {
                wb.setActiveSheet(s);
            } catch (const XlsError &) {
                continue;
            }
            const int rows = std::min(wb.lastRow(), 40);
            const int cols = std::min(wb.lastColumn(), 20);
            for (int r = 1; r <= rows; ++r)
                for (int c = 1; c <= cols; ++c) {
                    wb.cellText(r, c);
                    wb.formulaText(r, c);
                    wb.numberFormat(r, c);
                }
            wb.definedNames();
            wb.pageFooter();
        }
        wb.setActiveSheet(1);
        wb.copyRows(2, 3, 2, 3);
        wb.copyColumns(2, 3, 4, 2);
        wb.deleteRows(1, 2);
        wb.deleteColumns(2, 1);
        wb.setCell(5, 5, QStringLiteral("#DBF"));
    } catch (const XlsError &) {
        // A refused edit (a full sheet) is an answer, not a failure.
    }
    const QByteArray written = wb.workbookStream();
    Workbook back;
    try {
        back.openStream(written);
    } catch (const XlsError &) {
        std::abort(); // our own output must always read back
    }
    return 0;
}
