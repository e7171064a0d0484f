#pragma once
// The small start-up window: title, version, status line and progress bar while the
// start-up sequence runs.

#include "core/progress.h"
#include "startup/startuphost.h"

#include <QDialog>

class QLabel;
class QProgressBar;

namespace vestronia {

class StartWindow : public QDialog, public StartupHost, public Progress
{
    Q_OBJECT
public:
    explicit StartWindow(QWidget *parent = nullptr);

    // StartupHost
    void setStatus(const QString &text) override;
    void message(const QString &title, const QString &text, MessageKind kind) override;
    Progress &progress() override { return *this; }

    // Progress: the window's own bar, stepping once per unit of work.
    void setText(const QString &text) override;
    void setTotal(int total) override;
    void start() override;
    void step() override;
    void finish() override;

private:
    QLabel *m_status;
    QProgressBar *m_bar;
};

} // namespace vestronia
