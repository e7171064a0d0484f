#pragma once
// One running copy per user: the first copy listens on a local socket; a second start
// asks it to come to the front and ends.

#include <QObject>
#include <QString>

class QLocalServer;

namespace vestronia {

class SingleCopy : public QObject
{
    Q_OBJECT
public:
    explicit SingleCopy(const QString &key, QObject *parent = nullptr);
    // True when this is the only copy (it now listens); false when another copy runs
    // (it was asked to come to the front).
    bool claim();

Q_SIGNALS:
    // Another start asked this copy to show itself.
    void raiseRequested();

private:
    QString m_name;
    QLocalServer *m_server = nullptr;
};

} // namespace vestronia
