// The workbook engine: the globals substream (kept record by record, with the shared
// strings, sheet offsets and defined names maintained), the worksheets, and the edits
// that move references across the whole workbook. Chart sheets and macro sheets are
// kept byte for byte and are not edited.

#include "xls/workbook.h"

#include "core/dates.h"
#include "core/money.h"
#include "xls/biffrecord.h"
#include "xls/compoundfile.h"
#include "xls/formula.h"
#include "xls/sharedstrings.h"
#include "xls/worksheet.h"
#include "xls/xlserror.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

#include <cmath>
#include <limits>
#include <map>
#include <unordered_map>

namespace vestronia {

using namespace biff;

namespace {

const QString NoOpenFile = QStringLiteral("There is no open file");

// The longest text a cell of the spreadsheet programs holds.
constexpr qsizetype MaxCellText = 32767;

QString fromU16(const std::u16string &s)
{
    return QString(reinterpret_cast<const QChar *>(s.data()), qsizetype(s.size()));
}

std::u16string toU16(const QString &s)
{
    return std::u16string(reinterpret_cast<const char16_t *>(s.utf16()), std::size_t(s.size()));
}

QString numberText(double v)
{
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15)
        return QString::number(qint64(v));
    return QString::number(v, 'g', QLocale::FloatingPointShortest);
}

QString builtinFormat(int index)
{
    switch (index) {
    case 0: return QStringLiteral("General");
    case 1: return QStringLiteral("0");
    case 2: return QStringLiteral("0.00");
    case 3: return QStringLiteral("#,##0");
    case 4: return QStringLiteral("#,##0.00");
    case 9: return QStringLiteral("0%");
    case 10: return QStringLiteral("0.00%");
    case 11: return QStringLiteral("0.00E+00");
    case 12: return QStringLiteral("# ?/?");
    case 13: return QStringLiteral("# ?\?/??");
    case 14: return QStringLiteral("m/d/yy");
    case 15: return QStringLiteral("d-mmm-yy");
    case 16: return QStringLiteral("d-mmm");
    case 17: return QStringLiteral("mmm-yy");
    case 18: return QStringLiteral("h:mm AM/PM");
    case 19: return QStringLiteral("h:mm:ss AM/PM");
    case 20: return QStringLiteral("h:mm");
    case 21: return QStringLiteral("h:mm:ss");
    case 22: return QStringLiteral("m/d/yy h:mm");
    case 45: return QStringLiteral("mm:ss");
    case 46: return QStringLiteral("[h]:mm:ss");
    case 47: return QStringLiteral("mm:ss.0");
    case 48: return QStringLiteral("##0.0E+0");
    case 49: return QStringLiteral("@");
    default: return QStringLiteral("General");
    }
}

const char *const BuiltinNames[] = {"Consolidate_Area", "Auto_Open", "Auto_Close", "Extract", "Database",
                                    "Criteria", "Print_Area", "Print_Titles", "Recorder", "Data_Form",
                                    "Auto_Activate", "Auto_Deactivate", "Sheet_Title", "_FilterDatabase"};

// Where the token stream of a NAME record lies in its data; false when it runs past it.
bool nameFormulaSpan(const std::string &data, std::size_t &start, std::size_t &length)
{
    if (data.size() < 15)
        return false;
    const std::size_t cch = std::uint8_t(data[3]);
    const std::size_t cce = get16(data.data() + 4);
    const std::size_t width = (std::uint8_t(data[14]) & 0x01) ? 2 : 1;
    start = 15 + cch * width;
    length = cce;
    return start + length <= data.size();
}

} // namespace

struct SheetEntry
{
    std::u16string name;
    std::size_t boundSheetRecord = 0; // index in the globals
    std::vector<BiffRecord> raw;      // substreams other than worksheets
    std::unique_ptr<Worksheet> sheet; // worksheets
};

struct Workbook::Impl
{
    bool open = false;
    QString path;
    CompoundFile container;
    std::vector<BiffRecord> globals;
    SharedStrings sst;
    std::vector<SheetEntry> sheets;
    int active = 0;
    struct Xti
    {
        std::uint16_t supBook, first, last;
    };
    std::vector<Xti> xti;
    int selfSupBook = -1;
    std::vector<std::uint16_t> xfFormat;
    std::map<int, QString> formats;

    void clear()
    {
        open = false;
        path.clear();
        container = CompoundFile();
        globals.clear();
        sst = SharedStrings();
        sheets.clear();
        active = 0;
        xti.clear();
        selfSupBook = -1;
        xfFormat.clear();
        formats.clear();
    }

    void parseStream(const std::string &stream);
    void refuseUnknownFormulas() const;
    std::string buildStream() const;

    void requireOpen() const
    {
        if (!open)
            throw XlsError(NoOpenFile);
    }
    Worksheet &ws()
    {
        requireOpen();
        return *sheets[std::size_t(active)].sheet;
    }
    const Worksheet &ws() const
    {
        requireOpen();
        return *sheets[std::size_t(active)].sheet;
    }
    std::vector<char> ixtiOf(int sheet) const
    {
        std::vector<char> out(xti.size(), 0);
        for (std::size_t i = 0; i < xti.size(); ++i)
            out[i] = int(xti[i].supBook) == selfSupBook && xti[i].first == sheet && xti[i].last == sheet;
        return out;
    }
    std::string sheetNameOfIxti(std::uint16_t ixti) const
    {
        if (ixti >= xti.size() || int(xti[ixti].supBook) != selfSupBook || xti[ixti].first >= sheets.size())
            return "[?]";
        return fromU16(sheets[xti[ixti].first].name).toStdString();
    }
    void edit(const SheetEdit &e);
    void copy(Axis axis, int first, int last, int dest, int count);
};

void Workbook::Impl::parseStream(const std::string &stream)
{
    std::vector<BiffRecord> records = splitRecords(stream);
    if (records.empty() || records[0].id != RecBof || records[0].data.size() < 4)
        throw XlsError(QStringLiteral("nu incepe cu o inregistrare BOF"));
    if (get16(records[0].data.data()) != 0x0600)
        throw XlsError(QStringLiteral("nu este in formatul BIFF8 (Excel 97-2003)"));
    if (get16(records[0].data.data() + 2) != 0x0005)
        throw XlsError(QStringLiteral("nu incepe cu datele generale ale registrului"));

    std::size_t i = 0;
    for (; i < records.size(); ++i) {
        if (i > 0 && records[i].id == RecBof)
            throw XlsError(QStringLiteral("datele generale ale registrului nu se termina"));
        const bool eof = records[i].id == RecEof;
        globals.push_back(std::move(records[i]));
        if (eof)
            break;
    }
    if (i == records.size())
        throw XlsError(QStringLiteral("datele generale ale registrului nu se termina"));

    std::unordered_map<std::size_t, std::size_t> byOffset;
    for (std::size_t k = i + 1; k < records.size(); ++k)
        byOffset.emplace(records[k].offset, k);

    int supBooks = 0;
    std::size_t boundSheets = 0;
    for (const BiffRecord &r : globals) {
        switch (r.id) {
        case RecFilePass:
            // Everything after it is encrypted: reading on would take noise for records.
            throw XlsError(QStringLiteral("este protejat cu parola la deschidere; salvati-l fara parola si incercati din nou"));
        case RecBoundSheet:
            if (++boundSheets > MaxSheets)
                throw XlsError(QStringLiteral("are prea multe foi"));
            break;
        case RecSst:
            sst.parse(r);
            break;
        case RecSupBook:
            if (r.data.size() >= 4 && get16(r.data.data() + 2) == 0x0401 && selfSupBook < 0)
                selfSupBook = supBooks;
            ++supBooks;
            break;
        case RecExternSheet: {
            const std::string all = r.joined();
            if (all.size() >= 2) {
                const std::size_t n = std::min<std::size_t>(get16(all.data()), (all.size() - 2) / 6);
                for (std::size_t k = 0; k < n; ++k) {
                    const char *e = all.data() + 2 + 6 * k;
                    xti.push_back({get16(e), get16(e + 2), get16(e + 4)});
                }
            }
            break;
        }
        case RecXf:
            if (r.data.size() >= 4)
                xfFormat.push_back(get16(r.data.data() + 2));
            break;
        case RecFormat:
            if (r.data.size() >= 5) {
                std::size_t pos = 2;
                try {
                    formats[get16(r.data.data())] = fromU16(readUnicodeString16(r.data, pos));
                } catch (const XlsError &) {
                    // An unreadable format name only affects numberFormat().
                }
            }
            break;
        default:
            break;
        }
    }

    std::vector<char> used(records.size(), 0);
    std::size_t cellBudget = MaxCells;
    for (std::size_t g = 0; g < globals.size(); ++g) {
        const BiffRecord &r = globals[g];
        if (r.id != RecBoundSheet)
            continue;
        if (r.data.size() < 8)
            throw XlsError(QStringLiteral("lista foilor este deteriorata"));
        SheetEntry entry;
        entry.boundSheetRecord = g;
        std::size_t pos = 6;
        entry.name = readUnicodeString8(r.data, pos);
        const auto it = byOffset.find(get32(r.data.data()));
        if (it == byOffset.end() || records[it->second].id != RecBof || used[it->second]
            || records[it->second].data.size() < 4)
            throw XlsError(QStringLiteral("foaia \"%1\" nu poate fi gasita in fisier").arg(fromU16(entry.name)));
        std::size_t end = it->second;
        int depth = 0;
        for (; end < records.size(); ++end) {
            if (records[end].id == RecBof)
                ++depth;
            else if (records[end].id == RecEof && --depth == 0)
                break;
        }
        if (end == records.size())
            throw XlsError(QStringLiteral("foaia \"%1\" nu se termina").arg(fromU16(entry.name)));
        // Each record belongs to one sheet: a range that runs over another sheet's records
        // is a forged file (and taking the records twice would cost memory without end).
        for (std::size_t k = it->second; k <= end; ++k) {
            if (used[k])
                throw XlsError(QStringLiteral("foaia \"%1\" se suprapune cu alta foaie").arg(fromU16(entry.name)));
            used[k] = 1;
        }
        const bool worksheet = get16(records[it->second].data.data() + 2) == 0x0010;
        std::vector<BiffRecord> sub(std::make_move_iterator(records.begin() + std::ptrdiff_t(it->second)),
                                    std::make_move_iterator(records.begin() + std::ptrdiff_t(end) + 1));
        if (worksheet) {
            entry.sheet = std::make_unique<Worksheet>();
            entry.sheet->parse(sub, sst, cellBudget);
        } else {
            entry.raw = std::move(sub);
        }
        sheets.push_back(std::move(entry));
    }
    if (sheets.empty() || !sheets.front().sheet)
        throw XlsError(QStringLiteral("prima foaie nu este o foaie de calcul"));
}

std::string Workbook::Impl::buildStream() const
{
    std::vector<std::uint32_t> map(sst.size(), std::numeric_limits<std::uint32_t>::max());
    std::vector<const SstEntry *> usedStrings;
    std::uint32_t refs = 0;
    auto use = [&](std::uint32_t index) {
        ++refs;
        if (map[index] == std::numeric_limits<std::uint32_t>::max()) {
            map[index] = std::uint32_t(usedStrings.size());
            usedStrings.push_back(&sst.entry(index));
        }
    };
    for (const SheetEntry &s : sheets) {
        if (!s.sheet) {
            // Sheets kept as they are (macro and dialog sheets) refer to the string table
            // too; their strings must survive its renumbering.
            for (const BiffRecord &r : s.raw)
                if (r.id == RecLabelSst && r.data.size() >= 10 && get32(r.data.data() + 6) < map.size())
                    use(get32(r.data.data() + 6));
            continue;
        }
        for (const Row &row : s.sheet->rows())
            for (const Cell &c : row.cells)
                if (c.kind == CellKind::Text && c.sst < map.size()) {
                    ++refs;
                    if (map[c.sst] == std::numeric_limits<std::uint32_t>::max()) {
                        map[c.sst] = std::uint32_t(usedStrings.size());
                        usedStrings.push_back(&sst.entry(c.sst));
                    }
                }
    }

    std::string out;
    std::vector<std::size_t> offsetField(sheets.size(), 0);
    bool sstWritten = false;
    for (std::size_t g = 0; g < globals.size(); ++g) {
        const BiffRecord &r = globals[g];
        switch (r.id) {
        case RecSst:
            if (!sstWritten)
                SharedStrings::write(out, usedStrings, refs);
            sstWritten = true;
            break;
        case RecExtSst:
        case RecRecalcId: // without it the spreadsheet program recomputes every formula on opening
            break;
        case RecBoundSheet:
            for (std::size_t s = 0; s < sheets.size(); ++s)
                if (sheets[s].boundSheetRecord == g)
                    offsetField[s] = out.size() + 4;
            appendRecord(out, r);
            break;
        case RecEof:
            if (!sstWritten && !usedStrings.empty())
                SharedStrings::write(out, usedStrings, refs);
            sstWritten = true;
            appendRecord(out, r);
            break;
        default:
            appendRecord(out, r);
            break;
        }
    }
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        set32(out.data() + offsetField[s], std::uint32_t(out.size()));
        if (sheets[s].sheet) {
            sheets[s].sheet->write(out, map);
        } else {
            for (const BiffRecord &r : sheets[s].raw) {
                if (r.id == RecLabelSst && r.data.size() >= 10 && get32(r.data.data() + 6) < map.size()) {
                    BiffRecord renumbered = r;
                    set32(renumbered.data.data() + 6, map[get32(r.data.data() + 6)]);
                    appendRecord(out, renumbered);
                } else {
                    appendRecord(out, r);
                }
            }
        }
    }
    return out;
}

void Workbook::Impl::edit(const SheetEdit &e)
{
    Worksheet &target = ws();
    refuseUnknownFormulas();
    if (target.insertionOverflows(e))
        throw XlsError(QStringLiteral("Nu se pot insera %1 %2: celule completate ar iesi din foaia de calcul.")
                           .arg(e.count)
                           .arg(e.axis == Axis::Rows ? QStringLiteral("randuri") : QStringLiteral("coloane")));
    const std::vector<char> edited = ixtiOf(active);
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        if (!sheets[s].sheet)
            continue;
        const RefTarget rt{int(s) == active, &edited};
        sheets[s].sheet->applyToFormulas(e, rt);
    }
    const RefTarget names{false, &edited};
    for (BiffRecord &r : globals) {
        if (r.id != RecName)
            continue;
        // A long name formula goes on in CONTINUE records.
        std::string all = r.joined();
        std::size_t start = 0, length = 0;
        if (!nameFormulaSpan(all, start, length))
            continue;
        std::string rgce = all.substr(start, length);
        if (applyEdit(rgce, e, names)) {
            all.replace(start, length, rgce);
            r.setJoined(all);
        }
    }
    target.applyStructure(e);
}

void Workbook::Impl::refuseUnknownFormulas() const
{
    // A formula that cannot be read cannot have its references moved: editing around it
    // would leave it pointing at the wrong cells, so the edit is refused instead.
    for (const SheetEntry &s : sheets) {
        int row = 0, col = 0;
        if (s.sheet && s.sheet->findUnknownFormula(row, col))
            throw XlsError(QStringLiteral("Formula din foaia \"%1\", celula %2%3, nu poate fi ajustata; "
                                          "randurile si coloanele nu pot fi mutate.")
                               .arg(fromU16(s.name), QString::fromStdString(columnLetters(col)))
                               .arg(row + 1));
    }
    for (const BiffRecord &r : globals) {
        if (r.id != RecName)
            continue;
        const std::string all = r.joined();
        std::size_t start = 0, length = 0;
        if (nameFormulaSpan(all, start, length) && !isWellFormed(std::string_view(all).substr(start, length)))
            throw XlsError(QStringLiteral("Un nume definit are o formula care nu poate fi ajustata; "
                                          "randurile si coloanele nu pot fi mutate."));
    }
}

void Workbook::Impl::copy(Axis axis, int first, int last, int dest, int count)
{
    Worksheet &target = ws();
    refuseUnknownFormulas();
    const BlockSnapshot block = target.snapshot(axis, first, last);
    const int height = last - first + 1;
    const SheetEdit e{axis, dest, count * height, true};
    edit(e);
    const std::vector<char> edited = ixtiOf(active);
    target.paste(block, dest, count, e, RefTarget{true, &edited}, sst);
}

Workbook::Workbook() : d(std::make_unique<Impl>()) {}
Workbook::~Workbook() = default;

void Workbook::open(const QString &path)
{
    d->clear();
    try {
        CompoundFile file = readCompoundFile(path);
        d->parseStream(file.workbook);
        file.workbook.clear();
        d->container = std::move(file);
    } catch (const XlsError &e) {
        d->clear();
        throw XlsError(QStringLiteral("Fisierul %1 %2").arg(QDir::toNativeSeparators(path), e.message()));
    }
    d->path = path;
    d->open = true;
}

void Workbook::openBytes(const QByteArray &bytes)
{
    d->clear();
    try {
        CompoundFile file = readCompoundBytes(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        d->parseStream(file.workbook);
        file.workbook.clear();
        d->container = std::move(file);
    } catch (const XlsError &e) {
        d->clear();
        throw XlsError(QStringLiteral("Registrul %1").arg(e.message()));
    }
    d->open = true;
}

void Workbook::openStream(const QByteArray &stream)
{
    d->clear();
    if (std::size_t(stream.size()) > MaxWorkbookStream)
        throw XlsError(QStringLiteral("Registrul este prea mare"));
    try {
        d->parseStream(std::string(stream.constData(), std::size_t(stream.size())));
    } catch (const XlsError &e) {
        d->clear();
        throw XlsError(QStringLiteral("Registrul %1").arg(e.message()));
    }
    d->open = true;
}

bool Workbook::isOpen() const
{
    return d->open;
}

void Workbook::close()
{
    d->clear();
}

QByteArray Workbook::workbookStream() const
{
    d->requireOpen();
    const std::string s = d->buildStream();
    return QByteArray(s.data(), qsizetype(s.size()));
}

void Workbook::saveAs(const QString &path)
{
    d->requireOpen();
    const QString shown = QDir::toNativeSeparators(path);
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        throw XlsError(QStringLiteral("Fisierul %1 exista deja si nu va fi suprascris.").arg(shown));
    CompoundFile out;
    out.others = d->container.others;
    out.hasClassId = d->container.hasClassId;
    out.classId = d->container.classId;
    out.workbook = d->buildStream();

    QString temp;
    for (int attempt = 0; attempt < 100 && temp.isEmpty(); ++attempt) {
        const QString candidate = path + QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                                      QLatin1Char('0'));
        if (!QFileInfo(candidate).exists() && !QFileInfo(candidate).isSymLink())
            temp = candidate;
    }
    if (temp.isEmpty())
        throw XlsError(QStringLiteral("Fisierul %1 nu poate fi creat.").arg(shown));
    try {
        writeCompoundFile(temp, out);
    } catch (const XlsError &e) {
        QFile::remove(temp);
        throw XlsError(QStringLiteral("Fisierul %1 nu poate fi scris: %2").arg(shown, e.message()));
    }
    if (!QFile::rename(temp, path)) {
        QFile::remove(temp);
        if (QFileInfo::exists(path))
            throw XlsError(QStringLiteral("Fisierul %1 exista deja si nu va fi suprascris.").arg(shown));
        throw XlsError(QStringLiteral("Fisierul %1 nu poate fi scris.").arg(shown));
    }
}

int Workbook::sheetCount() const
{
    d->requireOpen();
    return int(d->sheets.size());
}

QString Workbook::sheetName(int sheet) const
{
    d->requireOpen();
    if (sheet < 1 || sheet > int(d->sheets.size()))
        throw XlsError(QStringLiteral("Foaia %1 nu exista.").arg(sheet));
    return fromU16(d->sheets[std::size_t(sheet - 1)].name);
}

void Workbook::setActiveSheet(int sheet)
{
    d->requireOpen();
    if (sheet < 1 || sheet > int(d->sheets.size()))
        throw XlsError(QStringLiteral("Foaia %1 nu exista.").arg(sheet));
    if (!d->sheets[std::size_t(sheet - 1)].sheet)
        throw XlsError(QStringLiteral("Foaia %1 nu este o foaie de calcul.").arg(sheet));
    d->active = sheet - 1;
}

int Workbook::activeSheet() const
{
    d->requireOpen();
    return d->active + 1;
}

int Workbook::lastRow() const
{
    return d->ws().lastUsedRow() + 1;
}

int Workbook::lastColumn() const
{
    return d->ws().lastUsedCol() + 1;
}

int Workbook::lastColumnInRow(int row) const
{
    return d->ws().lastUsedColInRow(row - 1) + 1;
}

namespace {

void checkCell(int row, int column)
{
    if (row < 1 || row > MaxRow + 1 || column < 1 || column > MaxCol + 1)
        throw XlsError(QStringLiteral("Celula (%1, %2) este in afara foii de calcul.").arg(row).arg(column));
}

} // namespace

QVariant Workbook::cellValue(int row, int column) const
{
    checkCell(row, column);
    const Cell *c = d->ws().cell(row - 1, column - 1);
    if (!c)
        return QVariant();
    switch (c->kind) {
    case CellKind::Blank:
        return QVariant();
    case CellKind::Number:
        return QVariant(c->number);
    case CellKind::Text:
        return QVariant(fromU16(d->sst.entry(c->sst).text));
    case CellKind::BoolErr:
        return c->boolErr[1] ? QVariant() : QVariant(double(c->boolErr[0]));
    case CellKind::Formula: {
        const auto &res = c->formula->result;
        if (std::uint8_t(res[6]) == 0xFF && std::uint8_t(res[7]) == 0xFF) {
            if (res[0] == 0) {
                for (const BiffRecord &f : c->formula->follow)
                    if (f.id == RecString) {
                        std::size_t pos = 0;
                        try {
                            return QVariant(fromU16(readUnicodeString16(f.joined(), pos)));
                        } catch (const XlsError &) {
                            return QVariant(QString());
                        }
                    }
                return QVariant(QString());
            }
            if (res[0] == 1)
                return QVariant(double(std::uint8_t(res[2])));
            return QVariant();
        }
        return QVariant(getDouble(res.data()));
    }
    }
    return QVariant();
}

QString Workbook::cellText(int row, int column) const
{
    const QVariant v = cellValue(row, column);
    if (!v.isValid())
        return QString();
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    return numberText(v.toDouble());
}

bool Workbook::isFormula(int row, int column) const
{
    checkCell(row, column);
    const Cell *c = d->ws().cell(row - 1, column - 1);
    return c && c->kind == CellKind::Formula;
}

QString Workbook::formulaText(int row, int column) const
{
    checkCell(row, column);
    const Cell *c = d->ws().cell(row - 1, column - 1);
    if (!c || c->kind != CellKind::Formula)
        return QString();
    return QString::fromStdString(
        renderFormula(c->formula->rgce, [this](std::uint16_t ixti) { return d->sheetNameOfIxti(ixti); }));
}

int Workbook::formatIndex(int row, int column) const
{
    checkCell(row, column);
    const Worksheet &ws = d->ws();
    if (const Cell *c = ws.cell(row - 1, column - 1))
        return c->xf;
    if (row - 1 < int(ws.rows().size())) {
        const std::string &rec = ws.rows()[std::size_t(row - 1)].record;
        if (rec.size() >= 16 && (get16(rec.data() + 12) & 0x80))
            return get16(rec.data() + 14) & 0x0FFF;
    }
    const ColumnInfo &ci = ws.columns()[std::size_t(column - 1)];
    return ci.present ? ci.xf : 15;
}

QString Workbook::numberFormat(int row, int column) const
{
    const int xf = formatIndex(row, column);
    if (xf < 0 || xf >= int(d->xfFormat.size()))
        return builtinFormat(0);
    const int fmt = d->xfFormat[std::size_t(xf)];
    const auto it = d->formats.find(fmt);
    return it != d->formats.end() ? it->second : builtinFormat(fmt);
}

void Workbook::setCell(int row, int column, const QVariant &value)
{
    checkCell(row, column);
    Cell &c = d->ws().cellForWrite(row - 1, column - 1);
    c.formula.reset();
    const int type = value.typeId();
    if (!value.isValid() || value.isNull()) {
        c.kind = CellKind::Blank;
    } else if (type == QMetaType::QString) {
        const QString text = value.toString();
        if (text.isEmpty()) {
            c.kind = CellKind::Blank;
        } else {
            c.kind = CellKind::Text;
            c.sst = d->sst.add(toU16(text.left(MaxCellText)));
        }
    } else if (type == QMetaType::QDate) {
        const QDate date = value.toDate();
        if (date.isValid()) {
            c.kind = CellKind::Number;
            c.number = dayNumberOf(date);
        } else {
            c.kind = CellKind::Blank;
        }
    } else if (type == QMetaType::Bool) {
        c.kind = CellKind::BoolErr;
        c.boolErr[0] = value.toBool() ? 1 : 0;
        c.boolErr[1] = 0;
    } else if (type == qMetaTypeId<Money>()) {
        c.kind = CellKind::Number;
        c.number = value.value<Money>().toDouble();
    } else {
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (ok && std::isfinite(v)) {
            c.kind = CellKind::Number;
            c.number = v;
        } else {
            c.kind = CellKind::Text;
            c.sst = d->sst.add(toU16(value.toString().left(MaxCellText)));
        }
    }
}

namespace {

void checkSpan(int start, int count, int max, const char *what)
{
    if (start < 1 || start > max + 1 || count < 0 || count > max + 1)
        throw XlsError(QStringLiteral("%1 in afara foii de calcul: %2, %3").arg(QLatin1String(what)).arg(start).arg(count));
}

} // namespace

void Workbook::insertRows(int row, int count)
{
    d->requireOpen();
    checkSpan(row, count, MaxRow, "Randuri");
    if (count > 0)
        d->edit(SheetEdit{Axis::Rows, row - 1, count, true});
}

void Workbook::deleteRows(int row, int count)
{
    d->requireOpen();
    checkSpan(row, count, MaxRow, "Randuri");
    if (count > 0)
        d->edit(SheetEdit{Axis::Rows, row - 1, std::min(count, MaxRow + 2 - row), false});
}

void Workbook::insertColumns(int column, int count)
{
    d->requireOpen();
    checkSpan(column, count, MaxCol, "Coloane");
    if (count > 0)
        d->edit(SheetEdit{Axis::Columns, column - 1, count, true});
}

void Workbook::deleteColumns(int column, int count)
{
    d->requireOpen();
    checkSpan(column, count, MaxCol, "Coloane");
    if (count > 0)
        d->edit(SheetEdit{Axis::Columns, column - 1, std::min(count, MaxCol + 2 - column), false});
}

void Workbook::copyRows(int first, int last, int dest, int count)
{
    d->requireOpen();
    checkSpan(first, 0, MaxRow, "Randuri");
    checkSpan(last, 0, MaxRow, "Randuri");
    checkSpan(dest, count, MaxRow, "Randuri");
    if (last < first)
        throw XlsError(QStringLiteral("Blocul de randuri %1-%2 este gol.").arg(first).arg(last));
    if (count <= 0)
        return;
    if (qint64(count) * (last - first + 1) > MaxRow + 1)
        throw XlsError(QStringLiteral("Nu se pot insera %1 copii ale randurilor %2-%3: foaia de calcul nu are loc.")
                           .arg(count)
                           .arg(first)
                           .arg(last));
    d->copy(Axis::Rows, first - 1, last - 1, dest - 1, count);
}

void Workbook::copyColumns(int first, int last, int dest, int count)
{
    d->requireOpen();
    checkSpan(first, 0, MaxCol, "Coloane");
    checkSpan(last, 0, MaxCol, "Coloane");
    checkSpan(dest, count, MaxCol, "Coloane");
    if (last < first)
        throw XlsError(QStringLiteral("Blocul de coloane %1-%2 este gol.").arg(first).arg(last));
    if (count <= 0)
        return;
    if (qint64(count) * (last - first + 1) > MaxCol + 1)
        throw XlsError(QStringLiteral("Nu se pot insera %1 copii ale coloanelor %2-%3: foaia de calcul nu are loc.")
                           .arg(count)
                           .arg(first)
                           .arg(last));
    d->copy(Axis::Columns, first - 1, last - 1, dest - 1, count);
}

QList<CellRange> Workbook::mergedRanges() const
{
    QList<CellRange> out;
    for (const MergedRange &m : d->ws().merges())
        out.append(CellRange{m.firstRow + 1, m.lastRow + 1, m.firstCol + 1, m.lastCol + 1});
    return out;
}

int Workbook::columnWidth(int column) const
{
    checkCell(1, column);
    const ColumnInfo &ci = d->ws().columns()[std::size_t(column - 1)];
    return ci.present ? ci.width : -1;
}

int Workbook::rowHeight(int row) const
{
    checkCell(row, 1);
    const Worksheet &ws = d->ws();
    if (row - 1 >= int(ws.rows().size()))
        return -1;
    const std::string &rec = ws.rows()[std::size_t(row - 1)].record;
    return rec.size() >= 16 ? (get16(rec.data() + 6) & 0x7FFF) : -1;
}

void Workbook::setRowHeight(int row, int twips)
{
    d->requireOpen();
    checkCell(row, 1);
    if (twips < 1 || twips > 8192)
        throw XlsError(QStringLiteral("Inaltimea %1 a randului %2 nu este valida.").arg(twips).arg(row));
    std::string &rec = d->ws().rowRecord(row - 1);
    if (rec.size() < 16) {
        // rw, first and last column, height, two reserved words, flags (0x100 always
        // set), default format 15.
        rec.assign(16, '\0');
        set16(rec.data(), std::uint16_t(row - 1));
        set16(rec.data() + 12, 0x0100);
        set16(rec.data() + 14, 15);
    }
    set16(rec.data() + 6, std::uint16_t(twips));
    // The height was set on purpose: readers keep it instead of recomputing it.
    set16(rec.data() + 12, std::uint16_t(get16(rec.data() + 12) | 0x40));
}

void Workbook::setColumnPageBreaks(const QList<int> &columns)
{
    d->requireOpen();
    std::vector<int> zeroBased;
    for (int c : columns) {
        checkCell(1, c);
        zeroBased.push_back(c - 1);
    }
    std::sort(zeroBased.begin(), zeroBased.end());
    zeroBased.erase(std::unique(zeroBased.begin(), zeroBased.end()), zeroBased.end());
    d->ws().setColumnBreaks(zeroBased);
}

namespace {

QString headerFooterText(const Worksheet &ws, std::uint16_t id)
{
    const BiffRecord *r = ws.findRecord(id);
    if (!r)
        return QString();
    std::size_t pos = 0;
    try {
        return fromU16(readUnicodeString16(r->data, pos));
    } catch (const XlsError &) {
        return QString();
    }
}

} // namespace

QString Workbook::pageHeader() const
{
    return headerFooterText(d->ws(), 0x0014);
}

QString Workbook::pageFooter() const
{
    return headerFooterText(d->ws(), 0x0015);
}

QList<DefinedName> Workbook::definedNames() const
{
    d->requireOpen();
    QList<DefinedName> out;
    for (const BiffRecord &r : d->globals) {
        if (r.id != RecName)
            continue;
        const std::string all = r.joined();
        std::size_t start = 0, length = 0;
        if (!nameFormulaSpan(all, start, length))
            continue;
        DefinedName n;
        const std::uint16_t grbit = get16(all.data());
        const std::size_t cch = std::uint8_t(all[3]);
        const bool wide = std::uint8_t(all[14]) & 0x01;
        std::u16string raw;
        for (std::size_t k = 0; k < cch; ++k)
            raw.push_back(wide ? char16_t(get16(all.data() + 15 + 2 * k)) : char16_t(std::uint8_t(all[15 + k])));
        if ((grbit & 0x20) && raw.size() == 1 && raw[0] < std::size(BuiltinNames))
            n.name = QString::fromLatin1(BuiltinNames[raw[0]]);
        else
            n.name = fromU16(raw);
        n.sheet = get16(all.data() + 8);
        n.formula = QString::fromStdString(renderFormula(
            std::string_view(all).substr(start, length), [this](std::uint16_t ixti) { return d->sheetNameOfIxti(ixti); }));
        out.append(n);
    }
    return out;
}

} // namespace vestronia
