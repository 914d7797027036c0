// The transcript's text with runs of empty lines among other lines: whatever
// is appended, inserted or removed, lines, positions and text read back as
// from the same text kept plainly, line breaks and all.
#include "ui/transcripttext.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Drops the fewest first lines that leave the rest within a number of bytes,
// putting a line in their place, after checking that they are the fewest.
void dropOver(qsizetype bytes, const QString &line, TranscriptText &text, QString &plain)
{
    const qsizetype count = text.linesOver(bytes);
    const auto usedAfterDropping = [&](qsizetype lines) {
        TranscriptText rest = text;
        rest.replaceFirstLines(lines, {});
        return rest.bytesUsed();
    };
    if (count < text.lineCount() - 1)
        QVERIFY(usedAfterDropping(count) <= bytes);
    if (count > 0)
        QVERIFY(usedAfterDropping(count - 1) > bytes);
    qsizetype cut = 0;
    for (qsizetype i = 0; i < count; ++i)
        cut = plain.indexOf(u'\n', cut) + 1;
    const qsizetype heldBefore = text.bytesHeld();
    text.replaceFirstLines(count, line);
    plain.replace(0, cut, line + u'\n');
    // What the dropped lines held goes back.
    if (count > 1)
        QVERIFY(text.bytesHeld() < heldBefore);
}

// Steps, one a string: "a:text" appends a line, "e3" three empty lines,
// "i5:text" inserts at position 5, "r2-7" removes positions 2 to 7, "c" clears,
// "d40:text" puts text in place of the first lines beyond 40 bytes.
void apply(const QString &step, TranscriptText &text, QString &plain)
{
    const QChar kind = step.front();
    const QString rest = step.mid(1);
    if (kind == u'd') {
        const qsizetype colon = rest.indexOf(u':');
        dropOver(rest.left(colon).toInt(), rest.mid(colon + 1), text, plain);
    } else if (kind == u'a') {
        text.appendLine(rest.mid(1));
        plain += QString(rest.mid(1)).replace(u"\r\n"_s, u"\n"_s) + u'\n';
    } else if (kind == u'e') {
        text.appendEmptyLines(rest.toInt());
        plain += QString(rest.toInt(), u'\n');
    } else if (kind == u'i') {
        const qsizetype colon = rest.indexOf(u':');
        const qsizetype at = rest.left(colon).toInt();
        text.insert(at, rest.mid(colon + 1));
        plain.insert(at, rest.mid(colon + 1));
    } else if (kind == u'r') {
        const QStringList ends = rest.split(u'-');
        const qsizetype from = std::min<qsizetype>(ends[0].toInt(), plain.size());
        const qsizetype to = std::clamp<qsizetype>(ends[1].toInt(), from, plain.size());
        text.remove(ends[0].toInt(), ends[1].toInt());
        plain.remove(from, to - from);
    } else {
        text.clear();
        plain.clear();
    }
}

} // namespace

class TestTranscriptText : public QObject
{
    Q_OBJECT

private slots:
    void runsReadBackAsPlainText_data()
    {
        QTest::addColumn<QStringList>("steps");

        QTest::newRow("runs between lines") << QStringList{u"a:ab"_s, u"e3"_s, u"a:cd"_s, u"e2"_s};
        QTest::newRow("run first") << QStringList{u"e4"_s, u"a:x"_s};
        QTest::newRow("appended CR LF beside a run")
            << QStringList{u"a:a\r\nb"_s, u"e2"_s, u"a:\r\n"_s, u"e1"_s};
        QTest::newRow("text typed into an empty line of a run")
            << QStringList{u"a:ab"_s, u"e4"_s, u"a:cd"_s, u"i5:xy"_s};
        QTest::newRow("text typed at a run's last line")
            << QStringList{u"a:ab"_s, u"e4"_s, u"i7:z"_s, u"e2"_s};
        QTest::newRow("line breaks typed inside a run")
            << QStringList{u"a:ab"_s, u"e4"_s, u"a:cd"_s, u"i4:\n\n"_s, u"i6:p\nq"_s};
        QTest::newRow("line break typed at a line's start before a run")
            << QStringList{u"a:ab"_s, u"e3"_s, u"i0:\n"_s, u"i3:\n"_s};
        QTest::newRow("removal across a run")
            << QStringList{u"a:ab"_s, u"e5"_s, u"a:cd"_s, u"e2"_s, u"r1-9"_s};
        QTest::newRow("removal of a run's breaks only")
            << QStringList{u"a:ab"_s, u"e5"_s, u"a:cd"_s, u"r3-6"_s};
        QTest::newRow("removal joins the lines around a run")
            << QStringList{u"a:ab"_s, u"e5"_s, u"a:cd"_s, u"r2-8"_s, u"e2"_s};
        QTest::newRow("removal of one character leaves two runs as one")
            << QStringList{u"e3"_s, u"a:x"_s, u"e3"_s, u"r3-4"_s, u"a:y"_s};
        QTest::newRow("everything removed, then more runs")
            << QStringList{u"a:ab"_s, u"e5"_s, u"r0-999"_s, u"e2"_s, u"a:z"_s};
        QTest::newRow("cleared, then more runs")
            << QStringList{u"a:ab"_s, u"e5"_s, u"c"_s, u"e3"_s, u"a:q"_s};
        // A few dozen bytes hold a few lines here.
        QTest::newRow("oldest lines dropped for a line in their place")
            << QStringList{u"a:bir"_s, u"a:iki"_s, u"a:üç"_s, u"a:dört"_s, u"d60:…"_s, u"a:beş"_s};
        QTest::newRow("dropped inside a run of empty lines")
            << QStringList{u"a:bir"_s, u"e6"_s, u"a:iki"_s, u"e2"_s, u"d40:…"_s, u"e1"_s};
        QTest::newRow("dropped twice, the first notice with them")
            << QStringList{u"a:bir"_s, u"a:iki"_s, u"a:üç"_s, u"d50:1"_s, u"a:dört"_s,
                           u"a:beş"_s, u"d50:2"_s};
        QTest::newRow("nothing fits but the open last line")
            << QStringList{u"a:uzun bir satır"_s, u"a:x"_s, u"i17:y"_s, u"d0:…"_s, u"a:z"_s};
        QTest::newRow("typed into after dropping")
            << QStringList{u"a:bir"_s, u"a:iki"_s, u"a:üç"_s, u"d50:…"_s, u"i1:x\ny"_s, u"r0-3"_s};
    }

    void runsReadBackAsPlainText()
    {
        QFETCH(QStringList, steps);
        TranscriptText text;
        QString plain;
        for (const QString &step : steps)
            apply(step, text, plain);

        QCOMPARE(text.text(u"\n"), plain);
        const QStringList lines = plain.split(u'\n');
        QCOMPARE(text.lineCount(), lines.size());
        QCOMPARE(text.length(), plain.size());
        qsizetype start = 0;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QCOMPARE(text.line(i), lines[i]);
            QCOMPARE(text.lineStart(i), start);
            // Every position of the line, the one at its break included.
            for (qsizetype at = start; at <= start + lines[i].size(); ++at)
                QCOMPARE(text.lineOf(at), i);
            start += lines[i].size() + 1;
        }
        for (qsizetype from = 0; from <= plain.size(); ++from)
            QCOMPARE(text.text(from, plain.size(), u"\r\n"),
                     plain.mid(from).replace(u"\n"_s, u"\r\n"_s));
    }

    // A chat line on a channel that has seen tens of thousands of clients
    // come and go brings as many empty lines; they must not add up.
    void runsCostWhatOneLineCosts()
    {
        TranscriptText text;
        for (int i = 0; i < 100; ++i) {
            text.appendLine(u"merhaba"_s);
            text.appendEmptyLines(32000);
        }
        QCOMPARE(text.lineCount(), 100 * 32001 + 1);
        QVERIFY2(text.bytesHeld() < 100 * 128, qPrintable(QString::number(text.bytesHeld())));
    }
};

QTEST_APPLESS_MAIN(TestTranscriptText)
#include "tst_transcripttext.moc"
