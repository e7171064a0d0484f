#pragma once
// The letter engine: fills the bracketed keys of a rich-text template by replacing them
// in the raw RTF text, line by line. Standard library only, so it is fuzzed and tested
// without Qt; text is bytes of code page 1250 (the templates' code page).
//
//   RtfReplace rtf;
//   rtf.setSource(templatePath);  rtf.setDestination(outputPath);
//   if (!rtf.startDocument()) ...            // header: everything before the first \pard
//   rtf.addReplacement("[NUME]", name);      // once per key
//   rtf.writeBody(1);                        // the body, keys replaced
//   rtf.endDocument();                       // the closing brace
//
// Template conventions: a key stands in one piece on one line; keys are matched without
// regard to (ASCII) case; a key written in the template with more than 4 characters and
// no lower-case letter receives its value upper-cased; an empty value prints as ten
// dots. Consecutive equal keys form a group whose values fill successive occurrences, and
// a line with fewer occurrences than the group has values is written again for the rest.
// Inserted values are never searched again, so a value holding a key stays as it is.

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vestronia::rtf {

// A template or output file that cannot be read or written, or a letter that would grow
// past the bounds below. The message is ready to show (Romanian) and names the file.
class RtfError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Templates larger than this are refused: the program's own models are a few kilobytes.
constexpr std::size_t MaxTemplateSize = 4 * 1024 * 1024;
// One writeBody call never produces more than this (copies times a grown body).
constexpr std::size_t MaxBodyOutput = 256 * 1024 * 1024;
// Copies of one body per writeBody call.
constexpr int MaxCopies = 1000;

// The template's lines as stored: separated by CR, LF or CR LF; a final line end does
// not start another line.
std::vector<std::string> splitLines(std::string_view bytes);

// A value made safe for the RTF text: "{" and "}" become "(" and ")", a backslash is
// doubled (so it prints as itself instead of starting a control word), and the bytes
// 0xAA and 0xDE become the escapes \'aa and \'de. Other bytes stay as they are.
std::string prepareValue(std::string_view cp1250);

// Upper case of a prepared value: the letters a-z and the lower-case letters of code page
// 1250; control words and escapes are left as they are, and a letter that becomes 0xAA
// or 0xDE is written as its escape.
std::string upperPrepared(std::string_view prepared);

// The keys and values of one letter and the line replacement over them.
class Replacements
{
public:
    // Appends a key with a value already made safe (prepareValue or an RTF escape text).
    // An empty key is ignored: it would be found everywhere.
    void add(std::string key, std::string preparedValue);
    void clear();
    bool empty() const { return m_keys.empty(); }
    std::size_t size() const { return m_keys.size(); }

    // Replaces every key in one template line. pending() afterwards says whether a
    // duplicate group still has values for this line (the caller writes it again).
    std::string replaceLine(std::string_view line);
    bool pending() const { return m_pending.has_value(); }
    void resetPending() { m_pending.reset(); }

private:
    std::vector<std::string> m_keys;
    std::vector<std::string> m_values;
    std::optional<std::size_t> m_pending;
};

// The document header: every line before the first line holding "\pard", then the part
// of that line before "\pard", trimmed, when it is not empty. A template without "\pard"
// is all header. Lines end with CR LF.
std::string documentHeader(const std::vector<std::string> &lines);

// The filled body, copies times (each copy after the first begins with a line "\page"),
// without the document's closing brace. Empty for a template without "\pard". Throws
// RtfError when it would pass MaxBodyOutput.
std::string documentBody(const std::vector<std::string> &lines, Replacements &replacements, int copies);

// The whole letter in memory: header, one body, closing brace.
std::string fillTemplate(std::string_view templateBytes, Replacements &replacements);

// The file-based engine: one letter file at a time, one or more bodies in it.
class RtfReplace
{
public:
    void setSource(std::string path) { m_source = std::move(path); }
    void setDestination(std::string path) { m_dest = std::move(path); }
    const std::string &source() const { return m_source; }
    const std::string &destination() const { return m_dest; }

    // Reads the template and writes the header to a new (or emptied) output. False, with
    // nothing written, when the template is missing, empty, too large or unreadable, or
    // the output cannot be created. Clears the keys.
    bool startDocument();
    // A key and its value as code page 1250 bytes (made safe with prepareValue).
    void addReplacement(std::string key, std::string_view cp1250Value);
    // A key and a value that is already RTF text (escapes of characters outside 1250).
    void addPreparedReplacement(std::string key, std::string preparedValue);
    // Appends copies of the filled body; when pageBreakFirst is set the first copy also
    // starts on a new page (the next letter of a batch). Clears the keys. Throws RtfError
    // when startDocument did not succeed or the output cannot be written.
    void writeBody(int copies, bool pageBreakFirst = false);
    // Appends the closing brace. Throws RtfError when the output cannot be written.
    void endDocument();
    // Hands the output to opener when it is set and exists; false otherwise.
    bool showDocument(const std::function<bool(const std::string &)> &opener) const;

private:
    void append(const std::string &bytes);

    std::string m_source;
    std::string m_dest;
    std::vector<std::string> m_lines;
    bool m_started = false;
    Replacements m_replacements;
};

} // namespace vestronia::rtf
