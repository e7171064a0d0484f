#pragma once
// Contor: the progress window of every long operation (debiting, backup, imports,
// reports). A text line (Descr) and a bar (Bar). While it is up, the window that was
// active is disabled and shows the busy cursor; it is the one window shown without
// blocking the others. Each step lets pending events run, so the screen keeps painting.
//
//   Contor &c = Contor::instance();
//   ProgressScope scope(c, QStringLiteral("Salvez datele..."), n);
//   for (...) { ...; c.step(); }

#include "core/progress.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace vestronia {

class Contor : public QWidget, public Progress
{
    Q_OBJECT

public:
    explicit Contor(QWidget *parent = nullptr);
    // The window every operation shares (created on first use, lives for the run).
    static Contor &instance();

    void setText(const QString &text) override;
    // The bar's maximum becomes n when n is below 100, else 100 (the bar then counts
    // hundredths of the work).
    void setTotal(int total) override;
    // Position 0, step count 0; when not yet shown: disables the active window, gives it
    // the busy cursor, shows this window.
    void start() override;
    // The step count grows by one; the bar advances by one position while its position is
    // below round(count / (n / 100)).
    void step() override;
    // Hides it, enables the remembered window again, restores its cursor, brings it to
    // the front. Safe when never started.
    void finish() override;

    // Direct control of the bar, for callers that drive it themselves.
    void setMaximum(int maximum);
    void setPosition(int position);
    int position() const;
    int maximum() const;
    int stepCount() const { return m_count; }
    QString text() const;

private:
    QLabel *m_descr;
    QProgressBar *m_bar;
    int m_total = 0;
    int m_count = 0;
    QPointer<QWidget> m_disabled;
    bool m_hadCursor = false;
    QCursor m_oldCursor;
};

} // namespace vestronia
