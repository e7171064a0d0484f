#pragma once
// The one interface of long work. Services step it; the window implementation is the
// progress window, the command-line one draws a bar on the terminal.

#include <QString>

namespace vestronia {

class Progress
{
public:
    virtual ~Progress() = default;
    virtual void setText(const QString &text) = 0;
    // Total number of steps of the work about to start.
    virtual void setTotal(int total) = 0;
    // Position 0; makes the progress visible.
    virtual void start() = 0;
    virtual void step() = 0;
    // Hides the progress; safe to call when it was never started.
    virtual void finish() = 0;
};

// For callers that want no progress at all.
class NullProgress final : public Progress
{
public:
    void setText(const QString &) override {}
    void setTotal(int) override {}
    void start() override {}
    void step() override {}
    void finish() override {}
};

// Starts on construction, finishes on destruction, so an exception never leaves a
// progress window up.
class ProgressScope
{
public:
    ProgressScope(Progress &progress, const QString &text, int total) : m_progress(progress)
    {
        m_progress.setText(text);
        m_progress.setTotal(total);
        m_progress.start();
    }
    ~ProgressScope() { m_progress.finish(); }
    ProgressScope(const ProgressScope &) = delete;
    ProgressScope &operator=(const ProgressScope &) = delete;

private:
    Progress &m_progress;
};

} // namespace vestronia
