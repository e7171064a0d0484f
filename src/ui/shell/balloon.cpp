// The problem balloon: a rounded tool-tip window with a tail, the error icon, the title
// "Problema !" and the text. It flips above the point when there is no room below.

#include "ui/shell/balloon.h"

#include "ui/shell/shellicons.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace vestronia {

namespace {

constexpr int Tail = 12;      // height of the tail
constexpr int Padding = 10;   // inside the rounded body
constexpr int IconSize = 20;

QPointer<ProblemBalloon> &balloon()
{
    static QPointer<ProblemBalloon> b;
    return b;
}

ProblemRecord &record()
{
    static ProblemRecord r;
    return r;
}

QString title()
{
    return QStringLiteral("Problema !");
}

} // namespace

ProblemBalloon::ProblemBalloon(QWidget *parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("ProblemBalloon"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &QWidget::hide);
}

void ProblemBalloon::showAt(const QPoint &tip, const QString &text)
{
    m_text = text;
    QFont bold = font();
    bold.setBold(true);
    const QFontMetrics fm(font());
    const QFontMetrics fmBold(bold);
    const QRect textBounds = fm.boundingRect(QRect(0, 0, TextWidth, 1000), Qt::TextWordWrap, text);
    const int titleHeight = qMax(IconSize, fmBold.height());
    const int bodyWidth = Padding * 2 + qMax(TextWidth, IconSize + 6 + fmBold.horizontalAdvance(title()));
    const int bodyHeight = Padding * 2 + titleHeight + 6 + textBounds.height();

    // Below the point when it fits on the screen, else above it.
    QRect screen(0, 0, 1 << 15, 1 << 15);
    if (QScreen *s = QGuiApplication::screenAt(tip))
        screen = s->availableGeometry();
    m_tailUp = tip.y() + Tail + bodyHeight <= screen.bottom();
    int left = tip.x() - 24;
    left = qBound(screen.left(), left, qMax(screen.left(), screen.right() - bodyWidth));
    m_tailX = qBound(Padding + 2, tip.x() - left, bodyWidth - Padding - 2);
    const int top = m_tailUp ? tip.y() : tip.y() - Tail - bodyHeight;
    const int bodyTop = m_tailUp ? Tail : 0;
    m_textRect = QRect(Padding, bodyTop + Padding + titleHeight + 6, TextWidth, textBounds.height());

    setFixedSize(bodyWidth + 1, bodyHeight + Tail + 1);
    move(left, top);
    show();
    raise();
    update();
    m_timer->start(HideAfterMs);
}

void ProblemBalloon::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int bodyTop = m_tailUp ? Tail : 0;
    const QRectF body(0.5, bodyTop + 0.5, width() - 1.0, height() - Tail - 1.0);
    QPainterPath path;
    path.addRoundedRect(body, 6, 6);
    QPainterPath tail;
    if (m_tailUp) {
        tail.moveTo(m_tailX, 0.5);
        tail.lineTo(m_tailX - 2, bodyTop + 1.0);
        tail.lineTo(m_tailX + Tail, bodyTop + 1.0);
    } else {
        tail.moveTo(m_tailX, height() - 0.5);
        tail.lineTo(m_tailX - 2, body.bottom() - 1.0);
        tail.lineTo(m_tailX + Tail, body.bottom() - 1.0);
    }
    tail.closeSubpath();
    path = path.united(tail);
    p.setPen(QPen(QColor(118, 118, 118), 1));
    p.setBrush(QColor(255, 255, 225));
    p.drawPath(path);

    const QIcon icon = themeIcon("dialog-error", QStyle::SP_MessageBoxCritical);
    p.drawPixmap(Padding, bodyTop + Padding, icon.pixmap(IconSize, IconSize));
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(QColor(20, 20, 20));
    p.drawText(QRect(Padding + IconSize + 6, bodyTop + Padding, width(), IconSize), Qt::AlignVCenter | Qt::AlignLeft,
               title());
    p.setFont(font());
    p.drawText(m_textRect, Qt::TextWordWrap, m_text);
}

void ProblemBalloon::mousePressEvent(QMouseEvent *)
{
    hide();
}

void showProblem(QWidget *control, const QString &text)
{
    record().control = control;
    record().text = text;
    if (!control)
        return;
    if (!balloon())
        balloon() = new ProblemBalloon;
    balloon()->showAt(control->mapToGlobal(QPoint(10, 10)), text);
}

ProblemRecord lastProblem()
{
    return record();
}

void clearLastProblem()
{
    record() = ProblemRecord{};
    if (balloon())
        balloon()->hide();
}

} // namespace vestronia
