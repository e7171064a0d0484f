// OLE2 container of a workbook through libgsf: read every stream with bounds on sizes,
// counts and depth; write the workbook stream and the kept entries into a new file.

#include "xls/compoundfile.h"

#include "xls/xlserror.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-output.h>
#include <gsf/gsf-utils.h>

#include <QFile>

#include <memory>
#include <mutex>

namespace vestronia::biff {

namespace {

void ensureGsf()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // Damaged files are reported by our own errors; libgsf's diagnostics would only
        // fill the terminal.
        const auto quiet = [](const gchar *, GLogLevelFlags, const gchar *, gpointer) {};
        for (const char *domain : {"libgsf:msole", "libgsf", "GLib-GObject", static_cast<const char *>(nullptr)})
            g_log_set_handler(domain, GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                              quiet, nullptr);
    });
}

struct GObjectDeleter
{
    void operator()(void *p) const
    {
        if (p)
            g_object_unref(p);
    }
};
template<typename T>
using GPtr = std::unique_ptr<T, GObjectDeleter>;

QString takeError(GError *err)
{
    if (!err)
        return QString();
    const QString text = QString::fromUtf8(err->message);
    g_error_free(err);
    return text;
}

struct ReadBudget
{
    std::size_t total = 0;
    int entries = 0;
};

std::string readStream(GsfInput *input, std::size_t limit, ReadBudget &budget)
{
    const gsf_off_t size = gsf_input_size(input);
    if (size < 0 || std::uint64_t(size) > limit || budget.total + std::size_t(size) > MaxCompoundTotal)
        throw XlsError(QStringLiteral("un flux al fisierului este prea mare"));
    budget.total += std::size_t(size);
    std::string data(std::size_t(size), '\0');
    std::size_t done = 0;
    while (done < data.size()) {
        const std::size_t chunk = std::min<std::size_t>(data.size() - done, 1u << 16);
        if (!gsf_input_read(input, chunk, reinterpret_cast<guint8 *>(data.data() + done)))
            throw XlsError(QStringLiteral("un flux al fisierului nu poate fi citit"));
        done += chunk;
    }
    return data;
}

void readEntries(GsfInfile *dir, std::vector<CompoundEntry> &into, int depth, ReadBudget &budget)
{
    if (depth > MaxCompoundDepth)
        throw XlsError(QStringLiteral("structura fisierului este prea adanca"));
    const int n = gsf_infile_num_children(dir);
    for (int i = 0; i < n; ++i) {
        if (++budget.entries > MaxCompoundEntries)
            throw XlsError(QStringLiteral("fisierul are prea multe fluxuri"));
        GPtr<GsfInput> child(gsf_infile_child_by_index(dir, i));
        if (!child)
            throw XlsError(QStringLiteral("un flux al fisierului nu poate fi deschis"));
        CompoundEntry entry;
        const char *name = gsf_infile_name_by_index(dir, i);
        entry.name = name ? name : "";
        if (GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0) {
            entry.storage = true;
            readEntries(GSF_INFILE(child.get()), entry.children, depth + 1, budget);
        } else {
            entry.data = readStream(child.get(), MaxWorkbookStream, budget);
        }
        into.push_back(std::move(entry));
    }
}

bool sameNameNoCase(const std::string &a, const char *b)
{
    const std::string_view bv(b);
    if (a.size() != bv.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = bv[i];
        if (x >= 'a' && x <= 'z')
            x = char(x - 32);
        if (y >= 'a' && y <= 'z')
            y = char(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

CompoundFile readFrom(GsfInput *input)
{
    GError *err = nullptr;
    GPtr<GsfInfile> ole(gsf_infile_msole_new(input, &err));
    if (!ole) {
        const QString why = takeError(err);
        throw XlsError(QStringLiteral("nu este un registru de calcul Excel 97-2003 (.xls)")
                       + (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
    }
    CompoundFile file;
    std::array<std::uint8_t, 16> id{};
    if (gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(ole.get()), id.data())) {
        file.hasClassId = true;
        file.classId = id;
    }
    ReadBudget budget;
    std::vector<CompoundEntry> entries;
    readEntries(ole.get(), entries, 0, budget);
    bool found = false;
    bool oldBook = false;
    for (CompoundEntry &e : entries) {
        if (!e.storage && !found && sameNameNoCase(e.name, "Workbook")) {
            file.workbook = std::move(e.data);
            found = true;
        } else {
            if (!e.storage && sameNameNoCase(e.name, "Book"))
                oldBook = true;
            file.others.push_back(std::move(e));
        }
    }
    if (!found)
        throw XlsError(oldBook ? QStringLiteral("este in formatul vechi Excel 5/95, care nu este acceptat")
                               : QStringLiteral("nu contine un registru de calcul (fluxul Workbook lipseste)"));
    return file;
}

void writeEntries(GsfOutfile *dir, const std::vector<CompoundEntry> &entries)
{
    for (const CompoundEntry &e : entries) {
        GPtr<GsfOutput> child(gsf_outfile_new_child(dir, e.name.c_str(), e.storage ? TRUE : FALSE));
        if (!child)
            throw XlsError(QStringLiteral("fluxul %1 nu poate fi scris").arg(QString::fromUtf8(e.name.c_str())));
        if (e.storage) {
            writeEntries(GSF_OUTFILE(child.get()), e.children);
        } else if (!e.data.empty()
                   && !gsf_output_write(child.get(), e.data.size(), reinterpret_cast<const guint8 *>(e.data.data()))) {
            throw XlsError(QStringLiteral("fluxul %1 nu poate fi scris").arg(QString::fromUtf8(e.name.c_str())));
        }
        if (!gsf_output_close(child.get()))
            throw XlsError(QStringLiteral("fluxul %1 nu poate fi scris").arg(QString::fromUtf8(e.name.c_str())));
    }
}

} // namespace

CompoundFile readCompoundFile(const QString &path)
{
    ensureGsf();
    GError *err = nullptr;
    GPtr<GsfInput> input(gsf_input_stdio_new(QFile::encodeName(path).constData(), &err));
    if (!input)
        throw XlsError(QStringLiteral("nu poate fi deschis: ") + takeError(err));
    if (gsf_input_size(input.get()) > gsf_off_t(MaxCompoundTotal) + gsf_off_t(MaxCompoundTotal / 4))
        throw XlsError(QStringLiteral("fisierul este prea mare"));
    return readFrom(input.get());
}

CompoundFile readCompoundBytes(std::string_view bytes)
{
    ensureGsf();
    GPtr<GsfInput> input(
        gsf_input_memory_new(reinterpret_cast<const guint8 *>(bytes.data()), gsf_off_t(bytes.size()), FALSE));
    if (!input)
        throw XlsError(QStringLiteral("nu este un registru de calcul Excel 97-2003 (.xls)"));
    return readFrom(input.get());
}

void writeCompoundFile(const QString &path, const CompoundFile &file)
{
    ensureGsf();
    GError *err = nullptr;
    GPtr<GsfOutput> sink(gsf_output_stdio_new(QFile::encodeName(path).constData(), &err));
    if (!sink)
        throw XlsError(QStringLiteral("nu poate fi creat: ") + takeError(err));
    GPtr<GsfOutfile> out(gsf_outfile_msole_new(sink.get()));
    if (!out)
        throw XlsError(QStringLiteral("nu poate fi creat"));
    if (file.hasClassId)
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(out.get()), file.classId.data());
    {
        GPtr<GsfOutput> wb(gsf_outfile_new_child(out.get(), "Workbook", FALSE));
        if (!wb
            || !gsf_output_write(wb.get(), file.workbook.size(), reinterpret_cast<const guint8 *>(file.workbook.data()))
            || !gsf_output_close(wb.get()))
            throw XlsError(QStringLiteral("fluxul Workbook nu poate fi scris"));
    }
    writeEntries(out.get(), file.others);
    if (!gsf_output_close(GSF_OUTPUT(out.get())))
        throw XlsError(QStringLiteral("fisierul nu poate fi inchis"));
    if (!gsf_output_is_closed(sink.get()) && !gsf_output_close(sink.get()))
        throw XlsError(QStringLiteral("fisierul nu poate fi scris pe disc"));
}

} // namespace vestronia::biff
