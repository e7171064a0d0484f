#pragma once
// The message dialog window behind mesaj(): a coloured header with the kind's icon and
// the title, the text, and up to four buttons laid out on a fixed 342-pixel row.

#include <QDialog>

class QLabel;
class QPushButton;

namespace vestronia {

class Erori : public QDialog
{
    Q_OBJECT

public:
    explicit Erori(QWidget *parent = nullptr);

    // Fills the window for one message; returns false when no button is selected.
    bool setMessage(const QString &title, const QString &text, int buttons, int kind);
    int kind() const { return m_kind; }

    // Width of the button row and of one button, and the left edge of the k-th (1-based)
    // of count visible buttons: equal gaps g = (342 - 73 * count) div (count + 1).
    static constexpr int RowWidth = 342;
    static constexpr int ButtonWidth = 73;
    static int buttonLeft(int k, int count);
    // Caption of the window for a kind ("Atentie !", "Eroare", "Informatie", "Confirmare").
    static QString kindCaption(int kind);

protected:
    void reject() override;
    void showEvent(QShowEvent *event) override;

private:
    QLabel *m_icon;
    QLabel *m_title;
    QLabel *m_text;
    QWidget *m_buttonRow;
    QPushButton *m_buttons[4];
    int m_kind = 0;
};

} // namespace vestronia
