#pragma once
// Throttle: what slows a guesser down. Failures (wrong passwords, wrong codes) are
// counted per key (an account, an address); after a few, each new try waits a growing
// delay, and after failLockAfter the key is refused for a while. Also a plain rate
// limit (at most n events per window per key) for mails and new accounts. In memory
// only, bounded in entries, safe from any thread.

#include <QHash>
#include <QMutex>
#include <QString>

namespace vestronia::server {

class Throttle
{
public:
    Throttle(int firstDelayMs, int lockAfter, int lockMinutes);

    // Milliseconds a new try on key waits before it is looked at.
    int delayMs(const QString &key);
    // Seconds the key is still refused; 0 when it is not.
    int lockedSeconds(const QString &key);
    void fail(const QString &key);
    void succeed(const QString &key);

    // True (and counted) when fewer than maxCount events of key happened in the last
    // windowSeconds.
    bool allow(const QString &key, int maxCount, int windowSeconds);

private:
    struct Entry
    {
        int failures = 0;
        qint64 last = 0;        // ms, monotonic
        qint64 lockedUntil = 0; // ms
    };
    struct Window
    {
        qint64 start = 0;
        int count = 0;
    };
    qint64 now() const;
    void prune();

    QMutex m_lock;
    QHash<QString, Entry> m_failures;
    QHash<QString, Window> m_windows;
    int m_firstDelay;
    int m_lockAfter;
    qint64 m_lockMs;
};

} // namespace vestronia::server
