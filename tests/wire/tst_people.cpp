// Who is present, kept from roster text that has no separators, and the join
// announcements that do end where a name ends.
#include "wire/joinannouncements.h"
#include "wire/people.h"

#include <QTest>

namespace {

// How sure the list is.
enum Certainty { Sure, Likely, Unknown };

// A list written as one text, the items between "|".
QStringList list(const char *items)
{
    const QString all = QString::fromUtf8(items);
    return all.isEmpty() ? QStringList{} : all.split(u'|');
}

// One step of what reaches a client: "r" roster text, "j" a join, "l" leave
// text, "c" a chat read, "s" the roster channel going quiet.
void play(People &people, const QStringList &steps)
{
    for (const QString &step : steps) {
        const QChar kind = step.at(0);
        const QString text = step.mid(2);
        if (kind == u'r')
            people.rosterText(text);
        else if (kind == u'j')
            people.joined(text);
        else if (kind == u'l')
            people.leaveText(text);
        else if (kind == u'c')
            people.chatText(text);
        else
            people.settleRoster();
    }
}

} // namespace

class TestPeople : public QObject
{
    Q_OBJECT

private slots:
    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("known");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("one roster") << QStringLiteral("SERVERAliVeli") << list("SERVER|Ali|Veli")
                                    << list("SERVER|Ali|Veli");
        QTest::newRow("two rosters back to back") << QStringLiteral("SERVERAliSERVERAliVeli")
                                                  << list("SERVER|Ali|Veli") << list("SERVER|Ali|SERVER|Ali|Veli");
        QTest::newRow("a piece nobody knows") << QStringLiteral("SERVERAliCan") << list("SERVER|Ali|Veli") << list("");
        QTest::newRow("two ways to read it") << QStringLiteral("AliVeli") << list("Ali|Veli|AliVeli") << list("");
        QTest::newRow("Turkish letters") << QStringLiteral("ŞuleİlkerŞu") << list("Şule|İlker|Şu")
                                         << list("Şule|İlker|Şu");
    }
    void split()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, known);
        QFETCH(QStringList, names);
        QCOMPARE(People::split(text, QSet<QString>(known.begin(), known.end())), names);
    }

    void likelySplit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("known");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("lower then upper, and a run of capitals before a word")
                << QStringLiteral("ILKER HOCAAyşeMehmet") << list("") << list("ILKER HOCA|Ayşe|Mehmet");
        QTest::newRow("a known name in capitals before an unknown one")
                << QStringLiteral("SERVERILKER HOCAAyşe") << list("SERVER") << list("SERVER|ILKER HOCA|Ayşe");
        QTest::newRow("a known name inside an unknown word is not cut out")
                << QStringLiteral("SERVERAliceVeli") << list("SERVER|Ali|Veli") << list("SERVER|Alice|Veli");
        QTest::newRow("Turkish capitals") << QStringLiteral("ŞuleİlkerÇağrı") << list("") << list("Şule|İlker|Çağrı");
        QTest::newRow("no boundary to see") << QStringLiteral("ali veli") << list("") << list("ali veli");
    }
    void likelySplit()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, known);
        QFETCH(QStringList, names);
        QCOMPARE(People::likelySplit(text, QSet<QString>(known.begin(), known.end())), names);
    }

    void listFollowsTheWire_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("certainty");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("operator not known yet: a likely list")
                << list("r HOCAMe|s") << int(Likely) << list("HOCA|Me");
        QTest::newRow("no boundary in sight: the roster as received")
                << list("r serverali|s") << int(Unknown) << list("serverali");
        QTest::newRow("the operator speaks") << list("r HOCAMe|s|c <HOCA> merhaba") << int(Sure) << list("HOCA|Me");
        QTest::newRow("the stop notice names nobody")
                << list("r HOCAMe|s|c <SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.") << int(Likely)
                << list("HOCA|Me");
        QTest::newRow("two rosters in one read, each name once")
                << list("c <SERVER> x|r SERVERMeSERV|j Veli|r ERMeVeli|s") << int(Sure) << list("SERVER|Me|Veli");
        QTest::newRow("a join before its roster shows at once")
                << list("c <SERVER> x|r SERVERMe|s|j Veli") << int(Sure) << list("SERVER|Me|Veli");
        QTest::newRow("a leaver still in the server's next roster stays gone")
                << list("c <SERVER> x|c <Ali> selam|r SERVERAliMe|s|l Ali|j Veli|r SERVERAliMeVeli|s") << int(Sure)
                << list("SERVER|Me|Veli");
        QTest::newRow("a leave teaches the name it carries")
                << list("c <SERVER> x|r SERVERAliMe|s|l Ali") << int(Sure) << list("SERVER|Me");
        QTest::newRow("back after leaving")
                << list("c <SERVER> x|r SERVERAliMe|s|l Ali|j Ali") << int(Sure) << list("SERVER|Ali|Me");
        QTest::newRow("control characters shown, not acted upon")
                << list("r ka\a\r\nali|s") << int(Unknown) << list("ka␇␍␊ali");
    }
    void listFollowsTheWire()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, certainty);
        QFETCH(QStringList, rows);
        People people;
        people.reset(QStringLiteral("Me"));
        play(people, steps);
        QCOMPARE(int(people.sure() ? Sure : people.likely() ? Likely : Unknown), certainty);
        QCOMPARE(people.rows()->stringList(), rows);
    }

    void rosterSettlesWhenTheChannelIsQuiet()
    {
        People people;
        people.reset(QStringLiteral("Me"));
        play(people, list("c <SERVER> x|r SERV|r ERMe"));
        QVERIFY(people.rows()->stringList().isEmpty());
        QTRY_COMPARE(people.names(), list("SERVER|Me"));
    }

    void leavesReadTogether_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("one known") << QStringLiteral("Ali") << list("Ali");
        QTest::newRow("two known, one read") << QStringLiteral("AliVeli") << list("Ali|Veli");
        QTest::newRow("unknown: taken whole") << QStringLiteral("Can") << list("Can");
    }
    void leavesReadTogether()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        People people;
        people.reset(QStringLiteral("Me"));
        play(people, list("j Ali|j Veli"));
        QCOMPARE(people.leaveText(text), names);
    }

    void joinAnnouncements_data()
    {
        QTest::addColumn<QStringList>("reads");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("one") << list("Ali sohbete katıldı.") << list("Ali");
        QTest::newRow("cut inside the words, then two at once")
                << list("Ali sohbete ka|tıldı.Veli Can sohbete katıldı.") << list("Ali|Veli Can");
        QTest::newRow("not ended yet") << list("Ali sohbete") << list("");
    }
    void joinAnnouncements()
    {
        QFETCH(QStringList, reads);
        QFETCH(QStringList, names);
        JoinAnnouncements joins;
        QStringList got;
        for (const QString &read : reads)
            got += joins.feed(read);
        QCOMPARE(got, names);
    }
};

QTEST_MAIN(TestPeople)
#include "tst_people.moc"
