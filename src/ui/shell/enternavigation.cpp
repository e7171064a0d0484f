// The event filter behind installEnterNavigation: Return or Enter in a watched field
// moves the focus on instead of pressing the form's default button.

#include "ui/shell/enternavigation.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

namespace vestronia {

namespace {
class EnterNavigator : public QObject
{
public:
    EnterNavigator(QWidget *form) : QObject(form), m_form(form) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
                auto *combo = qobject_cast<QComboBox *>(watched);
                if (combo && combo->view() && combo->view()->isVisible())
                    return false;
                moveOn(qobject_cast<QWidget *>(watched));
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    // The next widget of the tab chain that takes focus, as Tab would choose it.
    void moveOn(QWidget *from)
    {
        QWidget *start = QApplication::focusWidget() ? QApplication::focusWidget() : from;
        if (!start)
            return;
        for (QWidget *next = start->nextInFocusChain(); next && next != start; next = next->nextInFocusChain()) {
            if (next->isEnabled() && next->isVisibleTo(m_form) && (next->focusPolicy() & Qt::TabFocus)
                && m_form->isAncestorOf(next) && !next->focusProxy()) {
                next->setFocus(Qt::TabFocusReason);
                return;
            }
        }
    }

    QWidget *m_form;
};
} // namespace

void installEnterNavigation(QWidget *form, const QList<QWidget *> &keepEnter)
{
    auto *navigator = new EnterNavigator(form);
    for (QWidget *w : form->findChildren<QWidget *>()) {
        if (keepEnter.contains(w))
            continue;
        // The line edit inside an editable list or a date field belongs to that field.
        if (w->parentWidget() && keepEnter.contains(w->parentWidget()))
            continue;
        // Choice boxes are fields too: Enter on them must not press the form's default button.
        if (qobject_cast<QLineEdit *>(w) || qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractSpinBox *>(w)
            || qobject_cast<QRadioButton *>(w) || qobject_cast<QCheckBox *>(w))
            w->installEventFilter(navigator);
    }
}

void setTabChain(const QList<QWidget *> &chain)
{
    for (qsizetype i = 1; i < chain.size(); ++i)
        if (chain[i - 1] && chain[i])
            QWidget::setTabOrder(chain[i - 1], chain[i]);
}

} // namespace vestronia
