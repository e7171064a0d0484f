// keepTypedDay: an event filter on a date field that sees each typed digit before the
// field clamps the day to its month, and puts the typed day back once the month is typed.
// Only keyboard typing in the day section is watched; the calendar and arrows are not.

#include "ui/shell/dateentry.h"

#include "ui/shell/balloon.h"

#include <QCoreApplication>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStringList>

namespace vestronia {

namespace {

const QString Format = QStringLiteral("dd.MM.yyyy");

class TypedDayKeeper : public QObject
{
public:
    explicit TypedDayKeeper(QDateEdit *edit) : QObject(edit), m_edit(edit) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_edit || m_inside || m_edit->displayFormat() != Format)
            return false;
        if (event->type() == QEvent::FocusOut) {
            giveBack();
            return false;
        }
        if (event->type() != QEvent::KeyPress)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            giveBack(); // before Enter moves on or saves
            return false;
        }
        const QString typed = key->text();
        const bool digit = typed.size() == 1 && typed.at(0).isDigit();
        if (digit && m_edit->currentSection() == QDateTimeEdit::DaySection)
            noteDay(typed);
        // Let the field take the key, then look where it left the cursor.
        m_inside = true;
        QCoreApplication::sendEvent(m_edit, event);
        m_inside = false;
        if (m_pendingDay && m_edit->currentSection() == QDateTimeEdit::YearSection)
            giveBack();
        return true;
    }

private:
    QLineEdit *line() const { return m_edit->findChild<QLineEdit *>(); }

    // The text the field would hold with the digit typed, read as day, month and year.
    void noteDay(const QString &typed)
    {
        QLineEdit *l = line();
        if (!l)
            return;
        QString text = l->text();
        if (l->hasSelectedText())
            text.replace(l->selectionStart(), l->selectedText().size(), typed);
        else
            text.insert(l->cursorPosition(), typed);
        const QStringList parts = text.split(QLatin1Char('.'));
        if (parts.size() != 3)
            return;
        bool okDay = false;
        bool okMonth = false;
        bool okYear = false;
        const int day = parts[0].toInt(&okDay);
        const int month = parts[1].toInt(&okMonth);
        const int year = parts[2].toInt(&okYear);
        if (!okDay || !okMonth || !okYear || parts[0].size() != 2 || month < 1 || month > 12)
            return;
        const QDate first(year, month, 1);
        m_pendingDay = first.isValid() && day > first.daysInMonth() && day <= 31 ? day : 0;
    }

    void giveBack()
    {
        if (!m_pendingDay)
            return;
        const int day = m_pendingDay;
        m_pendingDay = 0;
        // The month and year as typed so far: a one-digit month is not yet the field's date.
        int year = m_edit->date().year();
        int month = m_edit->date().month();
        if (QLineEdit *l = line()) {
            const QStringList parts = l->text().split(QLatin1Char('.'));
            bool okMonth = false;
            bool okYear = false;
            const int typedMonth = parts.value(1).toInt(&okMonth);
            const int typedYear = parts.value(2).toInt(&okYear);
            if (parts.size() == 3 && okMonth && okYear && typedMonth >= 1 && typedMonth <= 12 && parts[2].size() == 4) {
                month = typedMonth;
                year = typedYear;
            }
        }
        const QDate wanted(year, month, day);
        if (wanted.isValid() && wanted >= m_edit->minimumDate() && wanted <= m_edit->maximumDate()) {
            const QDateTimeEdit::Section section = m_edit->currentSection();
            m_edit->setDate(wanted);
            m_edit->setSelectedSection(section);
            return;
        }
        showProblem(m_edit, QStringLiteral("Luna aleasa nu are ziua ") + QString::number(day)
                                + QStringLiteral("! Verificati data."));
    }

    QDateEdit *m_edit;
    int m_pendingDay = 0;
    bool m_inside = false;
};

} // namespace

void keepTypedDay(QDateEdit *edit)
{
    if (!edit || edit->property("vestroniaKeepsTypedDay").toBool())
        return;
    edit->setProperty("vestroniaKeepsTypedDay", true);
    edit->installEventFilter(new TypedDayKeeper(edit));
}

} // namespace vestronia
