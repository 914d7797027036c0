// Desktop notifications over a session bus of the test's own, with a stand-in
// notification service on it, and with no service at all.
#include "desktopnotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");

// What a desktop's notification service does, as far as the client uses it.
class FakeService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList capabilities;
    QStringList bodies;
    QList<uint> replaced;

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString &, uint replacesId, const QString &, const QString &, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        bodies.append(body);
        replaced.append(replacesId);
        return 7;
    }
};

} // namespace

class TestDesktopNotifier : public QObject
{
    Q_OBJECT

private slots:
    void notesReachTheServiceAndReplaceEachOther_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QString>("body");
        QTest::newRow("plain text service") << QStringList{QStringLiteral("body")} << QStringLiteral("<Ali> a&b");
        QTest::newRow("markup service") << QStringList{QStringLiteral("body"), QStringLiteral("body-markup")}
                                        << QStringLiteral("&lt;Ali&gt; a&amp;b");
    }
    void notesReachTheServiceAndReplaceEachOther()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(QString, body);
        FakeService fake;
        fake.capabilities = capabilities;
        // The service on a connection of its own, as it would be in another process.
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake"));
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(Service));

        DesktopNotifier notifier;
        QVERIFY(notifier.available());
        notifier.notify(QStringLiteral("Sohbet"), QStringLiteral("ilk"));
        notifier.notify(QStringLiteral("Sohbet"), QStringLiteral("ikinci"));
        notifier.notify(QStringLiteral("Sohbet"), QStringLiteral("<Ali> a&b\u0007"));
        // One call at a time; the newest waiting line replaces the one before,
        // and its note the one shown.
        QTRY_COMPARE(fake.bodies.size(), 2);
        QCOMPARE(fake.bodies.at(1), body + QStringLiteral("␇"));
        QCOMPARE(fake.replaced, (QList<uint>{0, 7}));

        bus.unregisterService(Service);
        bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
    }

    void silentWithoutAService()
    {
        DesktopNotifier notifier;
        QVERIFY(notifier.available());
        notifier.notify(QStringLiteral("Sohbet"), QStringLiteral("kimse duymuyor"));
        QTRY_VERIFY(!notifier.available());
    }
};

// The test runs its own session bus, so that nothing reaches a desktop the
// test happens to run in, and the notifier finds it the way it finds a real
// one.
int main(int argc, char *argv[])
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        std::fputs("dbus-daemon missing: install dbus-daemon\n", stderr);
        return 1;
    }
    QProcess bus;
    bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                       QStringLiteral("--print-address=1")});
    if (!bus.waitForStarted() || !bus.waitForReadyRead(10000))
        return 1;
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
    int status = 0;
    {
        QCoreApplication app(argc, argv);
        TestDesktopNotifier test;
        status = QTest::qExec(&test, argc, argv);
    }
    bus.kill();
    bus.waitForFinished();
    return status;
}

#include "tst_desktopnotifier.moc"
