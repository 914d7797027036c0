#pragma once

#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

// Tells the desktop that a line arrived, through its notification service
// (org.freedesktop.Notifications on the session bus), where there is one.
// Nothing here waits: every call is asynchronous, at most one is under way
// and a newer line replaces a waiting one, so a flood of chat costs the bus
// one call at a time. Where there is no session bus, or the service answers
// with an error, it stays silent for the rest of the run. The service's
// capabilities are asked for once, also without waiting: a service that reads
// markup in the body gets "<Ali>" escaped, one that does not gets it as is.
class DesktopNotifier final : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype MaxBodyChars = 200;

    explicit DesktopNotifier(QObject *parent = nullptr);

    void notify(const QString &summary, const QString &body);
    bool available() const { return m_available; }

private:
    void send();
    void answered(QDBusPendingCallWatcher *call);
    void capabilitiesArrived(QDBusPendingCallWatcher *call);

    bool m_available = false;
    bool m_inFlight = false;
    bool m_waiting = false;
    bool m_markup = false;
    QString m_summary;
    QString m_body;
    // The service's id of the last note, so that the next one replaces it
    // instead of stacking up.
    uint m_lastId = 0;
};
