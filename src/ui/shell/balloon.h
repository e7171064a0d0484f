#pragma once
// The problem balloon: an error balloon titled "Problema !" that points at the control
// whose input is wrong. Input forms show their validation messages this way and stay
// open. It goes away by itself after a few seconds, on a click, or when the next one
// is shown.

#include <QPointer>
#include <QString>
#include <QWidget>

namespace vestronia {

// Shows the balloon pointing 10 pixels right of and below the control's top-left corner.
void showProblem(QWidget *control, const QString &text);

// The last balloon shown (for tests): its control and text. Cleared by clearLastProblem.
struct ProblemRecord
{
    QPointer<QWidget> control;
    QString text;
};
ProblemRecord lastProblem();
void clearLastProblem();

// The balloon window itself.
class ProblemBalloon : public QWidget
{
    Q_OBJECT

public:
    explicit ProblemBalloon(QWidget *parent = nullptr);
    // Places the balloon so that its tail points at the global position tip.
    void showAt(const QPoint &tip, const QString &text);
    QString text() const { return m_text; }

    static constexpr int HideAfterMs = 5000;
    static constexpr int TextWidth = 300;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString m_text;
    bool m_tailUp = true;
    int m_tailX = 24;
    QRect m_textRect;
    class QTimer *m_timer;
};

} // namespace vestronia
