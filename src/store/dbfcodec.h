#pragma once
// The dBase byte layer: headers, field descriptors and field values of .DBF files, on
// plain bytes with the standard library, so it is tested and fuzzed without files or Qt.
// Reads dBase III/IV/V (version byte bits 0-2 = 3) and dBase 7 (bits = 4) headers and
// records; writes dBase IV compatible files (version 0x03, language driver 0xC8 = code
// page 1250). Text crosses this boundary as UTF-8; on disk it is in the code page the
// file's language driver byte names (1250, 1252, 437 or 852; 1250 when it names none or
// one not known here), and a write into an existing file keeps that file's code page.
//
// Every check of outside bytes throws DbfError with a Romanian message that names the
// file (and the record and field); nothing here allocates by an unchecked header value.

#include "store/dbferror.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vestronia::dbf {

// Main header, 32 bytes (dBase III/IV/V):
//   0  u8      version (bits 0-2: 3 = level III/IV/5, 4 = level 7; 0x80 = memo file)
//   1  u8[3]   date of last update: year-1900, month, day
//   4  u32 LE  record count
//   8  u16 LE  header length = 32 + 32 * fields + 1 (level 7: 68 + 48 * fields + 1 + properties)
//  10  u16 LE  record length, including the delete flag
//  14  u8      incomplete-transaction flag
//  15  u8      encryption flag
//  16  u8[12]  multi-user area
//  28  u8      production .MDX flag (1 = an index file exists)
//  29  u8      language driver id (0xC8 = code page 1250)
//  30  u8[2]   reserved
// Level 7 adds 32..63 the language driver name and 64..67 reserved (68 bytes).
namespace offset {
constexpr std::size_t Version = 0;
constexpr std::size_t Date = 1;
constexpr std::size_t RecordCount = 4;
constexpr std::size_t HeaderLength = 8;
constexpr std::size_t RecordLength = 10;
constexpr std::size_t ProductionIndex = 28;
constexpr std::size_t LanguageDriver = 29;
} // namespace offset

constexpr std::size_t MainHeaderSize = 32;
constexpr std::size_t Level7HeaderSize = 68;
// Field descriptor, 32 bytes (level 7: 48):
//   0  char[11] name, NUL padded (level 7: char[32])
//  11  char     type                           (level 7: @32)
//  12  u32      address in record (ignored: offsets are recomputed from the lengths)
//  16  u8       length                         (level 7: @33)
//  17  u8       decimals                       (level 7: @34)
//  20  u8       work-area id
//  31  u8       MDX tag flag                   (level 7: @37; next autoincrement @40)
constexpr std::size_t FieldDescriptorSize = 32;
constexpr std::size_t Level7FieldDescriptorSize = 48;
constexpr std::size_t FieldNameSize = 11;
// The longest header a u16 can describe: the most a reader ever needs to hold.
constexpr std::size_t MaxHeaderLength = 65535;

constexpr char HeaderTerminator = 0x0D;
constexpr char EndOfFileMark = 0x1A;
constexpr char LiveFlag = ' ';
constexpr char DeletedFlag = '*';
constexpr std::uint8_t VersionDbase4 = 0x03;
constexpr std::uint8_t LanguageDriverCp1250 = 0xC8;

// The code pages a language driver byte can name.
enum class CodePage : std::uint8_t { Cp1250, Cp1252, Cp437, Cp852 };
// 0xC8 -> 1250; 0x03, 0x57, 0x58 -> 1252; 0x01, 0x1B -> 437; 0x64, 0x1F, 0x22, 0x23,
// 0x87, 0x40 -> 852; anything else (0 = none given) -> 1250, the program's own.
CodePage codePageOfLanguageDriver(std::uint8_t id);
// 1250, 1252, 437, 852: for messages.
int codePageNumber(CodePage page);

struct Field
{
    std::string name; // UTF-8, without the NUL padding
    char type = 'C';  // C N F D L, level 7 also I + O @
    int length = 0;   // bytes in the record
    int decimals = 0; // digits after the point (N, F)
    int offset = 0;   // first byte in the record (byte 0 is the delete flag)
    CodePage codePage = CodePage::Cp1250; // of the file's text (C fields)
};

struct Header
{
    std::uint8_t version = VersionDbase4;
    int level = 3;                 // 3 for III/IV/5, 7 for dBase 7
    std::uint32_t recordCount = 0;
    std::uint32_t headerLength = 0;
    std::uint32_t recordLength = 0;
    std::uint8_t productionIndex = 0;
    std::uint8_t languageDriver = 0;
    CodePage codePage = CodePage::Cp1250; // from languageDriver; every field carries it too
    std::vector<Field> fields;

    // Whether this layer can write the file: level III/IV/5 with types C N F D L only.
    bool writable() const;
    // Index of the field of that name (ASCII case ignored), -1 when absent.
    int fieldIndex(std::string_view name) const;
};

// Reads the header from the first `available` bytes of a file of `fileSize` bytes
// (give min(fileSize, MaxHeaderLength) bytes or more). Checks every count against the
// bytes really there: short header, header length past the end, unknown version or
// field type, record length that disagrees with the fields, truncated last record.
// `fileName` is only for messages.
Header parseHeader(const unsigned char *data, std::size_t available, std::uint64_t fileSize,
                   std::string_view fileName);

// One decoded value.
struct Value
{
    enum class Kind { Null, Integer, Real, Text };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view text; // UTF-8; points into the record or into the caller's scratch

    static Value null() { return {}; }
    static Value ofInteger(std::int64_t v) { Value x; x.kind = Kind::Integer; x.integer = v; return x; }
    static Value ofReal(double v) { Value x; x.kind = Kind::Real; x.real = v; return x; }
    static Value ofText(std::string_view v) { Value x; x.kind = Kind::Text; x.text = v; return x; }
};

// Decodes one field of a record (`record` points at the delete flag). An all-blank
// field is NULL; text loses its trailing blanks and comes out as UTF-8 (in `scratch`
// when it needed conversion) from the field's code page. N(p,0) gives Integer, N(p,s>0) and F Real, D the day
// number (days since 30.12.1899) as Integer, L 1/0, I and + Integer, O Real, @ the day
// number with its fraction as Real. A value that is not what its type says throws,
// naming file, record (1-based) and field.
Value decodeField(const Field &field, const char *record, std::string &scratch,
                  std::string_view fileName, std::uint32_t recordNumber);

// The key of a field for equality lookups: numbers and dates as a double, text as its
// trimmed bytes in the field's code page (a text looked up must be converted with
// encodeText to the same page). Returns false for NULL; throws like decodeField.
struct Key
{
    bool isText = false;
    double number = 0;
    std::string_view bytes;
};
bool fieldKey(const Field &field, const char *record, Key &key, std::string_view fileName,
              std::uint32_t recordNumber);

// Writes a value into its field (`dst` = the record, delete flag at 0). Throws DbfError
// "Valoarea ... nu incape in campul RATA (N 10,2) al tabelei Debite.dbf" when it does
// not fit (too wide a number, too long a text, a character outside the field's code page,
// a text that is not a number or date). Numbers are rounded half away from zero from
// their exact decimal value (the shortest text of a double) to the field's decimals
// and written right-justified. Nothing is written when it throws.
void encodeField(const Field &field, const Value &value, char *dst, std::string_view tableName);
// What encodeField writes for a number by the general way: the value's exact decimal
// text rounded to the field's decimals. encodeField takes shorter ways for integers and
// for doubles that are exact amounts, which must write the same bytes and refuse the
// same values; tests hold the two side by side.
void encodeNumberByText(const Field &field, const Value &value, char *dst, std::string_view tableName);
// A live record of blanks.
void blankRecord(const Header &header, char *dst);

// Converts text between UTF-8 and a code page. encodeText returns false (and the first
// character that has no place in the page) when the text cannot be written; the
// comma-below letters s, t with comma are written as their cedilla twins where the page
// has those.
void appendUtf8(const char *data, std::size_t size, CodePage page, std::string &out);
bool encodeText(std::string_view utf8, CodePage page, std::string &out, std::string *badCharacter = nullptr);
// The same for code page 1250.
void appendUtf8FromCp1250(const char *data, std::size_t size, std::string &out);
bool toCp1250(std::string_view utf8, std::string &out, std::string *badCharacter = nullptr);

// Checks a column list for a new table (names, types C N F D L, widths) and throws
// DbfError naming the bad column.
void checkNewFields(const std::vector<Field> &fields, std::string_view tableName);
// The header bytes of a new dBase IV table with these fields and no records, including
// the 0x0D terminator. Offsets of `fields` are filled in.
std::string buildHeader(std::vector<Field> &fields, int year, int month, int day);
// Stores a record count / last-update date into a header buffer (32 bytes or more).
void storeRecordCount(unsigned char *header, std::uint32_t count);
void storeDate(unsigned char *header, int year, int month, int day);
std::uint32_t loadU32(const unsigned char *p);
std::uint16_t loadU16(const unsigned char *p);

// Day numbers (days since 30.12.1899) <-> calendar dates, proleptic Gregorian.
std::int64_t dayNumberFromDate(int year, int month, int day);
void dateFromDayNumber(std::int64_t dayNumber, int &year, int &month, int &day);

// "N 10,2", "C 60", "D": how a field's type shows in messages.
std::string fieldTypeText(const Field &field);

} // namespace vestronia::dbf
