#pragma once
// Helpers of the window tests: answer a modal dialog that will appear, and record the
// messages that windows show.

#include "ui/shell/mesaj.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QList>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace vestronia::testing {

// Runs action on the first modal window whose objectName is name, as soon as it is up and
// active (polling while the caller's exec() runs its loop): keys sent or focus read before
// the window is active go nowhere. Gives up after timeoutMs; the action then still runs on
// a visible window so that its checks fail instead of the dialog hanging.
inline void onModal(const QString &name, std::function<void(QWidget *)> action, int timeoutMs = 10000)
{
    auto *timer = new QTimer;
    const QDeadlineTimer deadline(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, name, action, deadline] {
        QWidget *w = QApplication::activeModalWidget();
        const bool ours = w && w->objectName() == name && w->isVisible();
        if ((ours && w->isActiveWindow()) || deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            if (w && w->objectName() == name)
                action(w);
        }
    });
    timer->start(10);
}

// Records every mesaj call and answers from a queue (Renunt when the queue is empty...
// except OK-only messages, which are answered OK).
class MesajRecorder
{
public:
    MesajRecorder()
    {
        setMesajHook([this](const MesajCall &call) {
            calls.append(call);
            if (!answers.isEmpty())
                return answers.takeFirst();
            return call.buttons == MesajButtons::OK ? MesajResult::OK : MesajResult::Renunt;
        });
    }
    ~MesajRecorder() { setMesajHook({}); }
    MesajRecorder(const MesajRecorder &) = delete;
    MesajRecorder &operator=(const MesajRecorder &) = delete;

    QStringList texts() const
    {
        QStringList out;
        for (const MesajCall &c : calls)
            out << c.text;
        return out;
    }
    QStringList titles() const
    {
        QStringList out;
        for (const MesajCall &c : calls)
            out << c.title;
        return out;
    }

    QList<MesajCall> calls;
    QList<int> answers;
};

} // namespace vestronia::testing
