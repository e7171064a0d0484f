#pragma once
// Progress drawn as a text bar on standard error (the command-line tool).

#include "core/progress.h"

#include <cstdio>

namespace vestronia {

class TerminalProgress final : public Progress
{
public:
    explicit TerminalProgress(std::FILE *out = stderr);
    void setText(const QString &text) override;
    void setTotal(int total) override;
    void start() override;
    void step() override;
    void finish() override;

private:
    void draw();

    std::FILE *m_out;
    QString m_text;
    int m_total = 0;
    int m_done = 0;
    int m_drawnPercent = -1;
    bool m_active = false;
    bool m_isTerminal = false;
};

} // namespace vestronia
