#include "desktopnotifier.h"

#include "wire/visibletext.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
constexpr int DefaultExpiry = -1;

// Asking for the session bus with none running would make D-Bus try to start
// one (autolaunch); only a bus that is there is used.
bool sessionBusExists()
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent) : QObject(parent)
{
    m_available = sessionBusExists() && QDBusConnection::sessionBus().isConnected();
    if (!m_available)
        return;
    const QDBusMessage call =
            QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifier::capabilitiesArrived);
}

void DesktopNotifier::capabilitiesArrived(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    const QDBusPendingReply<QStringList> reply = *call;
    if (reply.isError())
        m_available = false;
    else
        m_markup = reply.value().contains(QStringLiteral("body-markup"));
}

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    if (!m_available)
        return;
    m_summary = summary;
    m_body = VisibleText::shown(QStringView(body).left(MaxBodyChars));
    if (body.size() > MaxBodyChars)
        m_body += QStringLiteral(" …");
    m_waiting = true;
    if (!m_inFlight)
        send();
}

void DesktopNotifier::send()
{
    m_waiting = false;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
    const QString body = m_markup ? m_body.toHtmlEscaped() : m_body;
    call << QStringLiteral("Sohbet") << m_lastId << QStringLiteral("sohbet") << m_summary << body
         << QStringList() << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("org.sohbet.istemci")}}
         << DefaultExpiry;
    m_inFlight = true;
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &DesktopNotifier::answered);
}

void DesktopNotifier::answered(QDBusPendingCallWatcher *call)
{
    call->deleteLater();
    m_inFlight = false;
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError()) {
        m_available = false;
        return;
    }
    m_lastId = reply.value();
    if (m_waiting)
        send();
}
