// The event filter behind installEnterNavigation: Return or Enter in a watched field
// moves the focus on, or presses the form's enter button when it is next; on a focused
// button it presses that button. Widgets created after the call are not watched.

#include "ui/shell/enternavigation.h"

#include "ui/shell/dateentry.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QWidget>

namespace vestronia {

namespace {

const char EnterButtonProperty[] = "vestroniaEnterButton";

// Tells the style that focus moves by keyboard in this window, so check boxes, lists and
// buttons draw their focus frame (styles draw it only after a keyboard focus change).
void markKeyboardWindow(QWidget *w)
{
    if (!w)
        return;
    QWidget *window = w->window();
    if (!window->testAttribute(Qt::WA_KeyboardFocusChange)) {
        window->setAttribute(Qt::WA_KeyboardFocusChange, true);
        window->update();
    }
}

bool isField(const QWidget *w)
{
    return qobject_cast<const QLineEdit *>(w) || qobject_cast<const QComboBox *>(w)
        || qobject_cast<const QAbstractSpinBox *>(w) || qobject_cast<const QRadioButton *>(w)
        || qobject_cast<const QCheckBox *>(w);
}

bool isPressButton(const QWidget *w)
{
    return qobject_cast<const QPushButton *>(w) || qobject_cast<const QToolButton *>(w);
}

class EnterNavigator : public QObject
{
public:
    EnterNavigator(QWidget *form) : QObject(form), m_form(form) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_form) {
            if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate)
                markKeyboardWindow(m_form);
            return false;
        }
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget)
            return false;
        if (isPressButton(widget)) {
            press(static_cast<QAbstractButton *>(widget));
            return true;
        }
        auto *combo = qobject_cast<QComboBox *>(watched);
        if (combo && combo->view() && combo->view()->isVisible())
            return false;
        moveOn(widget);
        return true;
    }

private:
    static void press(QAbstractButton *button)
    {
        if (!button->isEnabled())
            return;
        auto *tool = qobject_cast<QToolButton *>(button);
        if (tool && tool->menu() && tool->popupMode() != QToolButton::DelayedPopup) {
            tool->showMenu();
            return;
        }
        button->click();
    }

    // The next widget of the tab chain that takes focus, as Tab would choose it; the
    // form's enter button is pressed rather than focused, so that Enter on the last field
    // saves (a refusal then leaves the focus on the field, beside its balloon).
    void moveOn(QWidget *from)
    {
        QWidget *start = QApplication::focusWidget() ? QApplication::focusWidget() : from;
        if (!start)
            return;
        for (QWidget *next = start->nextInFocusChain(); next && next != start; next = next->nextInFocusChain()) {
            if (next->isEnabled() && next->isVisibleTo(m_form) && (next->focusPolicy() & Qt::TabFocus)
                && m_form->isAncestorOf(next) && !next->focusProxy()) {
                auto *button = qobject_cast<QAbstractButton *>(next);
                if (button && button->property(EnterButtonProperty).toBool()) {
                    button->click();
                    return;
                }
                setKeyboardFocus(next);
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
    form->installEventFilter(navigator);
    for (QWidget *w : form->findChildren<QWidget *>()) {
        // A dialog owned by the form is a window of its own, with its own navigation.
        if (w->window() != form->window())
            continue;
        if (keepEnter.contains(w))
            continue;
        // The line edit inside an editable list or a date field belongs to that field.
        if (w->parentWidget() && keepEnter.contains(w->parentWidget()))
            continue;
        // Choice boxes are fields too: Enter on them must not press the form's default button.
        if (isField(w) || isPressButton(w))
            w->installEventFilter(navigator);
        // Installed after the navigator, so it sees Enter first and gives the typed day back
        // before the focus moves on.
        if (auto *date = qobject_cast<QDateEdit *>(w))
            keepTypedDay(date);
    }
}

void setEnterButton(QAbstractButton *button)
{
    button->setProperty(EnterButtonProperty, true);
}

void setKeyboardFocus(QWidget *w)
{
    if (!w)
        return;
    markKeyboardWindow(w);
    w->setFocus(Qt::TabFocusReason);
}

void setTabChain(const QList<QWidget *> &chain)
{
    for (qsizetype i = 1; i < chain.size(); ++i)
        if (chain[i - 1] && chain[i])
            QWidget::setTabOrder(chain[i - 1], chain[i]);
}

} // namespace vestronia
