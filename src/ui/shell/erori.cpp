// The message dialog: header and footer bands in the kind's two colours, the icon and
// bold title in the header, the text below, the buttons at fixed places in the footer.
// Text longer than about four lines still shows whole: the window grows with it.

#include "ui/shell/erori.h"

#include "ui/shell/mesaj.h"
#include "ui/shell/shellicons.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

namespace vestronia {

namespace {

constexpr int Margin = 9;

struct KindLook
{
    QColor from;
    QColor to;
    const char *iconName;
    QStyle::StandardPixmap fallback;
};

KindLook lookOf(int kind)
{
    switch (kind) {
    case MesajKind::Atentie:
        return {QColor(183, 177, 138), QColor(56, 54, 35), "dialog-warning", QStyle::SP_MessageBoxWarning};
    case MesajKind::Informatie:
        return {QColor(225, 222, 250), QColor(0, 0, 187), "dialog-information", QStyle::SP_MessageBoxInformation};
    case MesajKind::Confirmare:
        return {QColor(129, 162, 211), QColor(54, 95, 156), "dialog-question", QStyle::SP_MessageBoxQuestion};
    default:
        return {QColor(255, 213, 213), QColor(255, 0, 0), "dialog-error", QStyle::SP_MessageBoxCritical};
    }
}

// A strip painted with the kind's gradient, left to right.
class Band : public QWidget
{
public:
    explicit Band(QWidget *parent) : QWidget(parent) {}
    void setColours(const QColor &from, const QColor &to)
    {
        m_from = from;
        m_to = to;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        QLinearGradient g(0, 0, width(), 0);
        g.setColorAt(0, m_from);
        g.setColorAt(1, m_to);
        p.fillRect(rect(), g);
    }

private:
    QColor m_from;
    QColor m_to;
};

struct ButtonDef
{
    const char *name;
    const char *caption;
    int result;
    int bit;
};

// In the order they appear, left to right.
constexpr ButtonDef ButtonDefs[4] = {
    {"BE1", "&Da", MesajResult::Da, MesajButtons::Da},
    {"BE2", "&Nu", MesajResult::Nu, MesajButtons::Nu},
    {"BE3", "&Renunt", MesajResult::Renunt, MesajButtons::Renunt},
    {"BE4", "&OK", MesajResult::OK, MesajButtons::OK},
};

QString withLineBreaks(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

Erori::Erori(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Erori"));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto *header = new Band(this);
    header->setObjectName(QStringLiteral("Header"));
    header->setFixedHeight(52);
    auto *headerLayout = new QHBoxLayout(header);
    headerLayout->setContentsMargins(12, 6, 12, 6);
    headerLayout->setSpacing(10);
    m_icon = new QLabel(header);
    m_icon->setFixedSize(32, 32);
    m_title = new QLabel(header);
    m_title->setObjectName(QStringLiteral("Titlu"));
    QFont bold = m_title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.15);
    m_title->setFont(bold);
    headerLayout->addWidget(m_icon);
    headerLayout->addWidget(m_title, 1);
    layout->addWidget(header);

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("Text"));
    m_text->setWordWrap(true);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_text->setContentsMargins(18, 12, 18, 12);
    m_text->setMinimumHeight(m_text->fontMetrics().lineSpacing() * 4 + 24);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_text, 1);

    auto *footer = new Band(this);
    footer->setObjectName(QStringLiteral("Footer"));
    footer->setFixedHeight(44);
    m_buttonRow = footer;
    for (int i = 0; i < 4; ++i) {
        auto *b = new QPushButton(QString::fromLatin1(ButtonDefs[i].caption), footer);
        b->setObjectName(QString::fromLatin1(ButtonDefs[i].name));
        b->setFixedWidth(ButtonWidth);
        const int result = ButtonDefs[i].result;
        connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
        m_buttons[i] = b;
    }
    layout->addWidget(footer);

    setFixedWidth(RowWidth + 2 * Margin);
}

int Erori::buttonLeft(int k, int count)
{
    const int gap = (RowWidth - ButtonWidth * count) / (count + 1);
    return k * (gap + ButtonWidth) - ButtonWidth;
}

QString Erori::kindCaption(int kind)
{
    switch (kind) {
    case MesajKind::Atentie:
        return QStringLiteral("Atentie !");
    case MesajKind::Informatie:
        return QStringLiteral("Informatie");
    case MesajKind::Confirmare:
        return QStringLiteral("Confirmare");
    default:
        return QStringLiteral("Eroare");
    }
}

bool Erori::setMessage(const QString &title, const QString &text, int buttons, int kind)
{
    m_kind = kind;
    const KindLook look = lookOf(kind);
    setWindowTitle(kindCaption(kind));
    for (auto *band : {findChild<QWidget *>(QStringLiteral("Header")), findChild<QWidget *>(QStringLiteral("Footer"))})
        static_cast<Band *>(band)->setColours(look.from, look.to);
    m_icon->setPixmap(themeIcon(look.iconName, look.fallback).pixmap(32, 32));
    m_title->setText(title);
    m_text->setText(withLineBreaks(text));

    int count = 0;
    for (const ButtonDef &def : ButtonDefs)
        if (buttons & def.bit)
            ++count;
    int k = 0;
    QPushButton *first = nullptr;
    for (int i = 0; i < 4; ++i) {
        QPushButton *b = m_buttons[i];
        const bool shown = (buttons & ButtonDefs[i].bit) != 0;
        b->setVisible(shown);
        b->setDefault(false);
        if (!shown)
            continue;
        ++k;
        b->move(Margin + buttonLeft(k, count), (m_buttonRow->height() - b->sizeHint().height()) / 2);
        if (!first)
            first = b;
    }
    if (first) {
        first->setDefault(true);
        first->setFocus();
    }
    adjustSize();
    return count > 0;
}

void Erori::reject()
{
    done(MesajResult::Renunt);
}

void Erori::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    if (m_kind != MesajKind::Atentie && m_kind != MesajKind::Informatie && m_kind != MesajKind::Confirmare)
        QApplication::beep();
    for (QPushButton *b : m_buttons)
        if (b->isVisible() && b->isDefault())
            b->setFocus();
}

} // namespace vestronia
