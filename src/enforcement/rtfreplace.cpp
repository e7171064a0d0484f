// The letter engine on bytes: header copy, body copies with line replacement and
// duplicate groups, closing brace. Searches are ASCII case-insensitive and look only at
// template text, never into values already inserted.

#include "enforcement/rtfreplace.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace vestronia::rtf {

namespace {

const std::string LineEnd = "\r\n";
const std::string_view Pard = "\\pard";
const std::string EmptyValue = "..........";

unsigned char lowerAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

// Code page 1250: the upper-case byte of a lower-case letter, or the byte itself.
unsigned char upper1250(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 32);
    switch (c) {
    case 0x9A: return 0x8A; // s caron
    case 0x9C: return 0x8C; // s acute
    case 0x9D: return 0x8D; // t caron
    case 0x9E: return 0x8E; // z caron
    case 0x9F: return 0x8F; // z acute
    case 0xB3: return 0xA3; // l stroke
    case 0xB9: return 0xA5; // a ogonek
    case 0xBA: return 0xAA; // s cedilla
    case 0xBE: return 0xBC; // l caron
    case 0xBF: return 0xAF; // z dot
    default: break;
    }
    if (c >= 0xE0 && c != 0xF7 && c != 0xFF)
        return static_cast<unsigned char>(c - 0x20);
    return c;
}

bool hasLowerAscii(std::string_view s)
{
    return std::any_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(static_cast<unsigned char>(a[i])) != lowerAscii(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// First occurrence of key in text at or after from, ignoring ASCII case.
std::size_t findNoCase(std::string_view text, std::string_view key, std::size_t from)
{
    if (key.empty() || text.size() < key.size())
        return std::string::npos;
    const unsigned char first = lowerAscii(static_cast<unsigned char>(key[0]));
    for (std::size_t p = from; p + key.size() <= text.size(); ++p) {
        if (lowerAscii(static_cast<unsigned char>(text[p])) != first)
            continue;
        if (equalNoCase(text.substr(p, key.size()), key))
            return p;
    }
    return std::string::npos;
}

// Blanks and control bytes off both ends.
std::string_view trimmed(std::string_view s)
{
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

long braceBalance(std::string_view s)
{
    long b = 0;
    for (char c : s) {
        if (c == '{')
            ++b;
        else if (c == '}')
            --b;
    }
    return b;
}

// Index of the first line holding "\pard", or lines.size().
std::size_t pardLine(const std::vector<std::string> &lines)
{
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(Pard) != std::string::npos)
            return i;
    return lines.size();
}

// Appends a replaced line, keeping the body within its bound.
void appendLine(std::string &out, const std::string &line)
{
    if (out.size() + line.size() + LineEnd.size() > MaxBodyOutput)
        throw RtfError("Scrisoarea ar depasi marimea admisa; verificati modelul.");
    out += line;
    out += LineEnd;
}

} // namespace

std::vector<std::string> splitLines(std::string_view bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines.emplace_back(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.emplace_back(bytes.substr(start));
    return lines;
}

std::string prepareValue(std::string_view cp1250)
{
    std::string out;
    out.reserve(cp1250.size());
    for (char c : cp1250) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '{')
            out += '(';
        else if (c == '}')
            out += ')';
        else if (c == '\\')
            out += "\\\\";
        else if (b == 0xAA)
            out += "\\'aa";
        else if (b == 0xDE)
            out += "\\'de";
        else
            out += c;
    }
    return out;
}

std::string upperPrepared(std::string_view v)
{
    std::string out;
    out.reserve(v.size());
    std::size_t i = 0;
    while (i < v.size()) {
        if (v[i] == '\\') {
            // A control word, a hex escape or an escaped symbol passes unchanged.
            std::size_t j = i + 1;
            if (j < v.size() && v[j] == '\'') {
                j = std::min(v.size(), j + 3);
            } else if (j < v.size() && ((v[j] >= 'a' && v[j] <= 'z') || (v[j] >= 'A' && v[j] <= 'Z'))) {
                while (j < v.size() && ((v[j] >= 'a' && v[j] <= 'z') || (v[j] >= 'A' && v[j] <= 'Z')))
                    ++j;
                if (j < v.size() && v[j] == '-')
                    ++j;
                while (j < v.size() && v[j] >= '0' && v[j] <= '9')
                    ++j;
            } else if (j < v.size()) {
                ++j;
            }
            out.append(v.substr(i, j - i));
            i = j;
            continue;
        }
        const unsigned char u = upper1250(static_cast<unsigned char>(v[i]));
        if (u == 0xAA)
            out += "\\'aa";
        else if (u == 0xDE)
            out += "\\'de";
        else
            out += static_cast<char>(u);
        ++i;
    }
    return out;
}

void Replacements::add(std::string key, std::string preparedValue)
{
    if (key.empty())
        return;
    m_keys.push_back(std::move(key));
    m_values.push_back(std::move(preparedValue));
}

void Replacements::clear()
{
    m_keys.clear();
    m_values.clear();
    m_pending.reset();
}

std::string Replacements::replaceLine(std::string_view line)
{
    // The line as pieces: template text, which is searched, and inserted values, which
    // are not. A key can only match inside one piece of template text.
    struct Piece
    {
        std::string text;
        bool inserted;
    };
    std::vector<Piece> pieces{{std::string(line), false}};
    bool found = false;

    for (std::size_t n = 0; n < m_keys.size(); ++n) {
        // One pass of key n over the line builds the next list of pieces; the key's text
        // stays the same while n moves inside its group, so one pass finds them all.
        std::vector<Piece> next;
        next.reserve(pieces.size());
        for (Piece &piece : pieces) {
            if (piece.inserted) {
                next.push_back(std::move(piece));
                continue;
            }
            std::size_t from = 0;
            for (;;) {
                const std::size_t pos = findNoCase(piece.text, m_keys[n], from);
                if (pos == std::string::npos)
                    break;
                found = true;
                if (m_pending && equalNoCase(m_keys[*m_pending], m_keys[n]))
                    n = *m_pending;
                const std::string &key = m_keys[n];
                const std::string_view occurrence = std::string_view(piece.text).substr(pos, key.size());
                std::string value = m_values[n].empty() ? EmptyValue : m_values[n];
                if (occurrence.size() > 4 && !hasLowerAscii(occurrence))
                    value = upperPrepared(value);

                std::size_t group = 1;
                while (n + group < m_keys.size() && equalNoCase(m_keys[n + group], key))
                    ++group;
                if (group == 1) {
                    if (m_pending && equalNoCase(m_keys[*m_pending], key))
                        m_pending.reset();
                } else {
                    m_pending = n + 1;
                    n += group - 1;
                }
                if (pos > from)
                    next.push_back({piece.text.substr(from, pos - from), false});
                next.push_back({std::move(value), true});
                from = pos + key.size();
            }
            if (from < piece.text.size())
                next.push_back({piece.text.substr(from), false});
        }
        pieces = std::move(next);
    }
    if (!found)
        m_pending.reset();

    std::string out;
    for (const Piece &p : pieces)
        out += p.text;
    return out;
}

std::string documentHeader(const std::vector<std::string> &lines)
{
    std::string out;
    const std::size_t pard = pardLine(lines);
    for (std::size_t i = 0; i < pard; ++i) {
        out += lines[i];
        out += LineEnd;
    }
    if (pard < lines.size()) {
        const std::string_view before = trimmed(std::string_view(lines[pard]).substr(0, lines[pard].find(Pard)));
        if (!before.empty()) {
            out += before;
            out += LineEnd;
        }
    }
    return out;
}

std::string documentBody(const std::vector<std::string> &lines, Replacements &replacements, int copies)
{
    std::string out;
    const std::size_t pard = pardLine(lines);
    if (pard >= lines.size())
        return out;
    copies = std::clamp(copies, 0, MaxCopies);
    const std::size_t last = lines.size() - 1;

    for (int copy = 1; copy <= copies; ++copy) {
        std::size_t i = pard;
        std::string current = lines[i].substr(lines[i].find(Pard));
        if (copy > 1)
            appendLine(out, "\\page");
        long depth = braceBalance(current) + 1;
        replacements.resetPending();
        while (i < last && depth != 0) {
            if (!current.empty()) {
                appendLine(out, replacements.replaceLine(current));
                // A duplicate group repeats the line once per value still waiting; the
                // group index only moves forward, so this ends within the key count.
                std::size_t repeats = 0;
                while (replacements.pending() && repeats++ < replacements.size())
                    appendLine(out, replacements.replaceLine(current));
                replacements.resetPending();
            }
            ++i;
            current = lines[i];
            depth += braceBalance(current);
        }
        std::string_view closing = trimmed(current);
        if (!closing.empty())
            closing.remove_suffix(1);
        if (!closing.empty()) {
            const std::string filled = replacements.replaceLine(closing);
            if (!filled.empty())
                appendLine(out, filled);
        }
        replacements.resetPending();
    }
    return out;
}

std::string fillTemplate(std::string_view templateBytes, Replacements &replacements)
{
    const std::vector<std::string> lines = splitLines(templateBytes);
    std::string out = documentHeader(lines);
    out += documentBody(lines, replacements, 1);
    out += "}" + LineEnd;
    return out;
}

bool RtfReplace::startDocument()
{
    m_started = false;
    m_lines.clear();
    m_replacements.clear();
    if (m_source.empty() || m_dest.empty())
        return false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(m_source, ec))
        return false;
    const auto size = std::filesystem::file_size(m_source, ec);
    if (ec || size == 0 || size > MaxTemplateSize)
        return false;
    std::ifstream in(m_source, std::ios::binary);
    if (!in)
        return false;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (!in.read(bytes.data(), std::streamsize(size)))
        return false;
    // Read to the end: the file may have changed size since it was measured.
    if (in.peek() != std::char_traits<char>::eof())
        return false;
    std::ofstream out(m_dest, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    m_lines = splitLines(bytes);
    const std::string header = documentHeader(m_lines);
    out.write(header.data(), std::streamsize(header.size()));
    out.close();
    if (!out) {
        std::filesystem::remove(m_dest, ec);
        m_lines.clear();
        return false;
    }
    m_started = true;
    return true;
}

void RtfReplace::addReplacement(std::string key, std::string_view cp1250Value)
{
    m_replacements.add(std::move(key), prepareValue(cp1250Value));
}

void RtfReplace::addPreparedReplacement(std::string key, std::string preparedValue)
{
    m_replacements.add(std::move(key), std::move(preparedValue));
}

void RtfReplace::append(const std::string &bytes)
{
    if (!m_started)
        throw RtfError("Modelul scrisorii lipseste sau nu poate fi citit: " + m_source);
    std::ofstream out(m_dest, std::ios::binary | std::ios::app);
    if (out)
        out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out)
        throw RtfError("Nu pot scrie scrisoarea " + m_dest);
}

void RtfReplace::writeBody(int copies, bool pageBreakFirst)
{
    std::string body = documentBody(m_lines, m_replacements, copies);
    m_replacements.clear();
    if (pageBreakFirst)
        body.insert(0, "\\page" + LineEnd);
    append(body);
}

void RtfReplace::endDocument()
{
    m_replacements.clear();
    append("}" + LineEnd);
}

bool RtfReplace::showDocument(const std::function<bool(const std::string &)> &opener) const
{
    std::error_code ec;
    if (m_dest.empty() || !std::filesystem::is_regular_file(m_dest, ec) || !opener)
        return false;
    return opener(m_dest);
}

} // namespace vestronia::rtf
