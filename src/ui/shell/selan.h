#pragma once
// SelAn: the year picker of the collections summary. A list of years (AnulC) that the
// caller fills, "&Am ales" and "&Renunt", the prompt "Alegeti anul"; the caller gives the
// caption.

#include <QDialog>
#include <QStringList>

class QComboBox;

namespace vestronia {

class SelAn : public QDialog
{
    Q_OBJECT

public:
    explicit SelAn(QWidget *parent = nullptr);

    // Replaces the years offered; the first is selected when there is one.
    void setYears(const QStringList &years);
    // Shows the picker modally; true when accepted with a year selected. Without one the
    // problem balloon says "Nu ati ales niciun an!" and the picker stays open.
    bool run(const QString &title);
    // The selected year's text; empty when none.
    QString year() const;

private:
    void tryAccept();

    QComboBox *m_years;
};

} // namespace vestronia
