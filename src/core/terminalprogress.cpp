// A progress bar on the terminal. On a pipe it writes one line per text instead of
// redrawing, so logs stay readable.

#include "core/terminalprogress.h"

#include <unistd.h>

namespace vestronia {

TerminalProgress::TerminalProgress(std::FILE *out) : m_out(out), m_isTerminal(isatty(fileno(out)) != 0) {}

void TerminalProgress::setText(const QString &text)
{
    m_text = text;
    if (m_active) {
        m_drawnPercent = -1;
        draw();
    }
}

void TerminalProgress::setTotal(int total)
{
    m_total = total > 0 ? total : 0;
}

void TerminalProgress::start()
{
    m_done = 0;
    m_drawnPercent = -1;
    m_active = true;
    draw();
}

void TerminalProgress::step()
{
    ++m_done;
    draw();
}

void TerminalProgress::finish()
{
    if (!m_active)
        return;
    m_active = false;
    if (m_isTerminal)
        std::fputc('\n', m_out);
    std::fflush(m_out);
}

void TerminalProgress::draw()
{
    const int percent = m_total > 0 ? int(qMin<qint64>(100, qint64(m_done) * 100 / m_total)) : 0;
    if (percent == m_drawnPercent)
        return;
    const bool firstDraw = m_drawnPercent < 0;
    m_drawnPercent = percent;
    const QByteArray text = m_text.toLocal8Bit();
    if (!m_isTerminal) {
        if (firstDraw)
            std::fprintf(m_out, "%s\n", text.constData());
        return;
    }
    constexpr int width = 30;
    const int filled = percent * width / 100;
    char bar[width + 1];
    for (int i = 0; i < width; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[width] = 0;
    std::fprintf(m_out, "\r%-32.32s [%s] %3d%%", text.constData(), bar, percent);
    std::fflush(m_out);
}

} // namespace vestronia
