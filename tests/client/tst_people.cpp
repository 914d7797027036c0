// Who is present, kept from roster text that has no separators, and the join
// announcements that do end where a name ends.
#include "joinannouncements.h"
#include "people.h"

#include <QTest>

namespace {

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
        const QStringList three = {QStringLiteral("SERVER"), QStringLiteral("Ali"), QStringLiteral("Veli")};
        QTest::newRow("one roster") << QStringLiteral("SERVERAliVeli") << three << three;
        QTest::newRow("two rosters back to back")
                << QStringLiteral("SERVERAliSERVERAliVeli") << three
                << QStringList{QStringLiteral("SERVER"), QStringLiteral("Ali"), QStringLiteral("SERVER"),
                               QStringLiteral("Ali"), QStringLiteral("Veli")};
        QTest::newRow("a piece nobody knows") << QStringLiteral("SERVERAliCan") << three << QStringList{};
        QTest::newRow("two ways to read it")
                << QStringLiteral("AliVeli") << (three + QStringList{QStringLiteral("AliVeli")}) << QStringList{};
        QTest::newRow("Turkish letters")
                << QStringLiteral("ŞuleİlkerŞu")
                << QStringList{QStringLiteral("Şule"), QStringLiteral("İlker"), QStringLiteral("Şu")}
                << QStringList{QStringLiteral("Şule"), QStringLiteral("İlker"), QStringLiteral("Şu")};
    }
    void split()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, known);
        QFETCH(QStringList, names);
        QCOMPARE(People::split(text, QSet<QString>(known.begin(), known.end())), names);
    }

    void listFollowsTheWire_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("sure");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("operator not known yet: the roster as received")
                << QStringList{QStringLiteral("r SERVERMe"), QStringLiteral("s")} << false
                << QStringList{QStringLiteral("SERVERMe")};
        QTest::newRow("the operator speaks")
                << QStringList{QStringLiteral("r SERVERMe"), QStringLiteral("s"), QStringLiteral("c <SERVER> merhaba")}
                << true << QStringList{QStringLiteral("SERVER"), QStringLiteral("Me")};
        QTest::newRow("the stop notice names nobody")
                << QStringList{QStringLiteral("r SERVERMe"), QStringLiteral("s"),
                               QStringLiteral("c <SUNUCU MESAJI> Sunucu bağlantısı kesiliyor.")}
                << false << QStringList{QStringLiteral("SERVERMe")};
        QTest::newRow("two rosters in one read, each name once")
                << QStringList{QStringLiteral("c <SERVER> x"), QStringLiteral("r SERVERMeSERV"),
                               QStringLiteral("j Veli"), QStringLiteral("r ERMeVeli"), QStringLiteral("s")}
                << true << QStringList{QStringLiteral("SERVER"), QStringLiteral("Me"), QStringLiteral("Veli")};
        QTest::newRow("a join before its roster shows at once")
                << QStringList{QStringLiteral("c <SERVER> x"), QStringLiteral("r SERVERMe"), QStringLiteral("s"),
                               QStringLiteral("j Veli")}
                << true << QStringList{QStringLiteral("SERVER"), QStringLiteral("Me"), QStringLiteral("Veli")};
        QTest::newRow("a leaver still in the server's next roster stays gone")
                << QStringList{QStringLiteral("c <SERVER> x"), QStringLiteral("c <Ali> selam"),
                               QStringLiteral("r SERVERAliMe"), QStringLiteral("s"), QStringLiteral("l Ali"),
                               QStringLiteral("j Veli"), QStringLiteral("r SERVERAliMeVeli"), QStringLiteral("s")}
                << true << QStringList{QStringLiteral("SERVER"), QStringLiteral("Me"), QStringLiteral("Veli")};
        QTest::newRow("a leave teaches the name it carries")
                << QStringList{QStringLiteral("c <SERVER> x"), QStringLiteral("r SERVERAliMe"), QStringLiteral("s"),
                               QStringLiteral("l Ali")}
                << true << QStringList{QStringLiteral("SERVER"), QStringLiteral("Me")};
        QTest::newRow("back after leaving")
                << QStringList{QStringLiteral("c <SERVER> x"), QStringLiteral("r SERVERAliMe"), QStringLiteral("s"),
                               QStringLiteral("l Ali"), QStringLiteral("j Ali")}
                << true << QStringList{QStringLiteral("SERVER"), QStringLiteral("Ali"), QStringLiteral("Me")};
        QTest::newRow("control characters shown, not acted upon")
                << QStringList{QStringLiteral("r Ka\u0007\r\nMe"), QStringLiteral("s")} << false
                << QStringList{QStringLiteral("Ka␇␍␊Me")};
    }
    void listFollowsTheWire()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, sure);
        QFETCH(QStringList, rows);
        People people;
        people.reset(QStringLiteral("Me"));
        play(people, steps);
        QCOMPARE(people.sure(), sure);
        QCOMPARE(people.rows()->stringList(), rows);
    }

    void rosterSettlesWhenTheChannelIsQuiet()
    {
        People people;
        people.reset(QStringLiteral("Me"));
        people.chatText(QStringLiteral("<SERVER> x"));
        people.rosterText(QStringLiteral("SERV"));
        people.rosterText(QStringLiteral("ERMe"));
        QVERIFY(people.rows()->stringList().isEmpty());
        QTRY_COMPARE(people.names(), (QStringList{QStringLiteral("SERVER"), QStringLiteral("Me")}));
    }

    void leavesReadTogether_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("one known") << QStringLiteral("Ali") << QStringList{QStringLiteral("Ali")};
        QTest::newRow("two known, one read")
                << QStringLiteral("AliVeli") << QStringList{QStringLiteral("Ali"), QStringLiteral("Veli")};
        QTest::newRow("unknown: taken whole") << QStringLiteral("Can") << QStringList{QStringLiteral("Can")};
    }
    void leavesReadTogether()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, names);
        People people;
        people.reset(QStringLiteral("Me"));
        people.joined(QStringLiteral("Ali"));
        people.joined(QStringLiteral("Veli"));
        QCOMPARE(people.leaveText(text), names);
    }

    void joinAnnouncements_data()
    {
        QTest::addColumn<QStringList>("reads");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("one") << QStringList{QStringLiteral("Ali sohbete katıldı.")}
                             << QStringList{QStringLiteral("Ali")};
        QTest::newRow("cut inside the words, then two at once")
                << QStringList{QStringLiteral("Ali sohbete ka"), QStringLiteral("tıldı.Veli Can sohbete katıldı.")}
                << QStringList{QStringLiteral("Ali"), QStringLiteral("Veli Can")};
        QTest::newRow("not ended yet") << QStringList{QStringLiteral("Ali sohbete")} << QStringList{};
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
