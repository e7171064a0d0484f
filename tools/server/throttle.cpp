// Growing delays and time-limited refusals per key, and a fixed-window rate limit.
// Forgetting: a key without a failure for the lock time starts again from zero.

#include "throttle.h"

#include <QDeadlineTimer>
#include <QMutexLocker>

namespace vestronia::server {

namespace {
constexpr int FreeTries = 3;
constexpr int MaxEntries = 100000;
} // namespace

Throttle::Throttle(int firstDelayMs, int lockAfter, int lockMinutes)
    : m_firstDelay(firstDelayMs), m_lockAfter(lockAfter), m_lockMs(qint64(lockMinutes) * 60000)
{
}

qint64 Throttle::now() const
{
    return QDeadlineTimer::current().deadline();
}

void Throttle::prune()
{
    if (m_failures.size() + m_windows.size() < MaxEntries)
        return;
    const qint64 t = now();
    m_failures.removeIf([&](const auto &e) { return e.value().last + m_lockMs < t && e.value().lockedUntil < t; });
    m_windows.removeIf([&](const auto &w) { return w.value().start + 86400000 < t; });
    if (m_failures.size() + m_windows.size() >= MaxEntries) {
        // Flooded with fresh keys: forget the counts rather than grow without end.
        m_windows.clear();
    }
}

int Throttle::delayMs(const QString &key)
{
    const QMutexLocker lock(&m_lock);
    const auto it = m_failures.constFind(key);
    if (it == m_failures.cend() || it->last + m_lockMs < now() || it->failures < FreeTries)
        return 0;
    const int steps = qMin(it->failures - FreeTries, 5);
    return m_firstDelay << steps;
}

int Throttle::lockedSeconds(const QString &key)
{
    const QMutexLocker lock(&m_lock);
    const auto it = m_failures.constFind(key);
    const qint64 left = it == m_failures.cend() ? 0 : it->lockedUntil - now();
    return left > 0 ? int((left + 999) / 1000) : 0;
}

void Throttle::fail(const QString &key)
{
    const QMutexLocker lock(&m_lock);
    prune();
    Entry &e = m_failures[key];
    const qint64 t = now();
    if (e.last + m_lockMs < t || (e.lockedUntil != 0 && e.lockedUntil < t))
        e = Entry{};
    e.last = t;
    if (++e.failures >= m_lockAfter && e.lockedUntil == 0)
        e.lockedUntil = t + m_lockMs;
}

void Throttle::succeed(const QString &key)
{
    const QMutexLocker lock(&m_lock);
    m_failures.remove(key);
}

bool Throttle::allow(const QString &key, int maxCount, int windowSeconds)
{
    const QMutexLocker lock(&m_lock);
    prune();
    Window &w = m_windows[key];
    const qint64 t = now();
    if (w.start == 0 || w.start + qint64(windowSeconds) * 1000 <= t)
        w = Window{t, 0};
    if (w.count >= maxCount)
        return false;
    ++w.count;
    return true;
}

} // namespace vestronia::server
