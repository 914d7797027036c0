// The load tool's judgement: finding lines in an unframed stream however the
// sends were cut or joined, telling lost, reordered and garbled lines apart,
// percentiles, and the loopback-only rule.
#include "options.h"
#include "orderchecker.h"
#include "patterncounter.h"
#include "percentiles.h"
#include "procstats.h"
#include "token.h"

#include <QTest>

#include <ctime>
#include <string>
#include <vector>

Q_DECLARE_METATYPE(std::vector<double>)

namespace {
std::string lines(std::initializer_list<Token> tokens, std::size_t bytes = 64)
{
    std::string stream;
    for (const Token &token : tokens)
        stream += TokenFormat::makeLine(token, bytes);
    return stream;
}

// Feeds `stream` in pieces of `piece` bytes (0: all at once).
std::vector<Token> scan(const std::string &stream, std::size_t piece, TokenScanner &scanner)
{
    std::vector<Token> found;
    const std::size_t step = piece == 0 ? stream.size() : piece;
    for (std::size_t at = 0; at < stream.size(); at += step)
        scanner.feed(stream.data() + at, std::min(step, stream.size() - at), found);
    return found;
}

QString describe(const std::vector<Token> &tokens)
{
    QStringList parts;
    for (const Token &token : tokens)
        parts << QStringLiteral("%1:%2").arg(token.sender).arg(token.seq);
    return parts.join(QLatin1Char(' '));
}
} // namespace

class TestLoadTool : public QObject
{
    Q_OBJECT

private slots:
    void lineHasExactSizeAndRoundTrips()
    {
        for (std::size_t bytes : {std::size_t{32}, std::size_t{64}, std::size_t{200}}) {
            const Token token{4321, 987654};
            const std::string line = TokenFormat::makeLine(token, bytes);
            QCOMPARE(line.size(), bytes);
            QVERIFY(line.starts_with("<T:4321:987654:"));
            QCOMPARE(line.find('<', 1), std::string::npos);
            Token parsed;
            QVERIFY(TokenFormat::parseLine(line.data(), line.size(), bytes, parsed));
            QCOMPARE(parsed.sender, token.sender);
            QCOMPARE(parsed.seq, token.seq);
        }
        QVERIFY(TokenFormat::makeLine({1, 1}, 31).empty());
    }

    void scannerFindsTokens_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("piece");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("garbled");

        const std::string three = lines({{1, 0}, {2, 0}, {1, 1}});
        const auto bytes = [](const std::string &s) { return QByteArray::fromStdString(s); };
        QTest::newRow("joined in one send") << bytes(three) << 0 << u"1:0 2:0 1:1"_qs << 0;
        QTest::newRow("split byte by byte") << bytes(three) << 1 << u"1:0 2:0 1:1"_qs << 0;
        QTest::newRow("split at odd places") << bytes(three) << 37 << u"1:0 2:0 1:1"_qs << 0;
        QTest::newRow("amid other text")
            << bytes(":a!b@c PRIVMSG #bench :" + lines({{3, 5}}) + "\r\nb00001 sohbete katıldı.<S>" +
                     lines({{3, 6}}))
            << 5 << u"3:5 3:6"_qs << 0;

        std::string cut = lines({{1, 0}});
        cut.erase(20, 1); // a byte lost inside a line
        QTest::newRow("byte dropped") << bytes(cut + lines({{1, 1}})) << 7 << u"1:1"_qs << 1;

        std::string altered = lines({{1, 0}});
        altered[40] = altered[40] == 'a' ? 'b' : 'a';
        QTest::newRow("byte altered") << bytes(altered) << 0 << QString() << 1;

        std::string number = lines({{12, 3}});
        number[5] = '3'; // sender 12 becomes 13: padding no longer matches
        QTest::newRow("number altered") << bytes(number) << 0 << QString() << 1;

        // Another sender's line runs into the middle of a broken one.
        const std::string first = lines({{1, 0}});
        QTest::newRow("cut by another line")
            << bytes(first.substr(0, 30) + lines({{2, 0}}) + first.substr(30)) << 9 << u"2:0"_qs << 1;

        QTest::newRow("doubled bytes")
            << bytes(first.substr(0, 40) + first.substr(30)) << 0 << QString() << 1;
    }

    void scannerFindsTokens()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, piece);
        QFETCH(QString, expected);
        QFETCH(int, garbled);

        TokenScanner scanner;
        const std::vector<Token> found = scan(stream.toStdString(), static_cast<std::size_t>(piece), scanner);
        scanner.finish();
        QCOMPARE(describe(found), expected);
        QCOMPARE(scanner.garbled(), static_cast<std::uint64_t>(garbled));
    }

    void scannerKeepsUnfinishedTailUntilMoreArrives()
    {
        TokenScanner scanner;
        std::vector<Token> found;
        const std::string line = lines({{7, 9}});
        scanner.feed(line.data(), 2, found); // just "<T"
        QVERIFY(found.empty());
        scanner.feed(line.data() + 2, line.size() - 3, found);
        QVERIFY(found.empty());
        QCOMPARE(scanner.garbled(), 0u);
        scanner.finish(); // the stream ended inside a line
        QCOMPARE(scanner.garbled(), 1u);
    }

    void orderChecker_data()
    {
        QTest::addColumn<QList<int>>("seqs"); // one sender's lines as they arrived
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("lost");
        QTest::addColumn<int>("reordered");
        QTest::addColumn<int>("duplicated");
        QTest::addColumn<int>("impossible");

        QTest::newRow("all in order") << QList<int>{0, 1, 2, 3} << 4 << 0 << 0 << 0 << 0;
        QTest::newRow("gap in middle") << QList<int>{0, 2, 3} << 4 << 1 << 0 << 0 << 0;
        QTest::newRow("tail lost") << QList<int>{0, 1} << 4 << 2 << 0 << 0 << 0;
        QTest::newRow("nothing arrived") << QList<int>{} << 3 << 3 << 0 << 0 << 0;
        QTest::newRow("late line") << QList<int>{0, 2, 1, 3} << 4 << 0 << 1 << 0 << 0;
        QTest::newRow("swapped twice") << QList<int>{1, 0, 3, 2} << 4 << 0 << 2 << 0 << 0;
        QTest::newRow("repeated") << QList<int>{0, 1, 1, 2} << 3 << 0 << 0 << 1 << 0;
        QTest::newRow("late then repeated") << QList<int>{0, 2, 1, 1} << 3 << 0 << 1 << 1 << 0;
        QTest::newRow("never sent") << QList<int>{0, 5} << 2 << 1 << 0 << 0 << 1;
    }

    void orderChecker()
    {
        QFETCH(QList<int>, seqs);
        QFETCH(int, sent);
        QFETCH(int, lost);
        QFETCH(int, reordered);
        QFETCH(int, duplicated);
        QFETCH(int, impossible);

        OrderChecker checker(3);
        for (int seq : seqs)
            checker.accept({1, static_cast<std::uint32_t>(seq)}, static_cast<std::uint32_t>(sent));
        // Another sender in order alongside does not disturb sender 1's count.
        checker.accept({2, 0}, 1);
        QCOMPARE(checker.lost(1, static_cast<std::uint32_t>(sent)), static_cast<std::uint64_t>(lost));
        QCOMPARE(checker.reordered(), static_cast<std::uint64_t>(reordered));
        QCOMPARE(checker.duplicated(), static_cast<std::uint64_t>(duplicated));
        QCOMPARE(checker.impossible(), static_cast<std::uint64_t>(impossible));
        QCOMPARE(checker.lost(2, 1), 0u);
        QCOMPARE(checker.lost(0, 2), 2u);
    }

    void unknownSenderIsImpossible()
    {
        OrderChecker checker(2);
        QVERIFY(checker.accept({5, 0}, 100) == OrderChecker::Verdict::Impossible);
        QCOMPARE(checker.lost(5, 3), 3u);
    }

    void percentiles_data()
    {
        QTest::addColumn<std::vector<double>>("samples");
        QTest::addColumn<double>("p50");
        QTest::addColumn<double>("p95");
        QTest::addColumn<double>("p99");
        QTest::addColumn<double>("max");

        std::vector<double> hundred;
        for (int i = 100; i >= 1; --i)
            hundred.push_back(i);
        QTest::newRow("1..100 shuffled") << hundred << 50.0 << 95.0 << 99.0 << 100.0;
        QTest::newRow("one sample") << std::vector<double>{7} << 7.0 << 7.0 << 7.0 << 7.0;
        QTest::newRow("none") << std::vector<double>{} << 0.0 << 0.0 << 0.0 << 0.0;
        // Nearest rank: p50 of four is the 2nd, p95 and p99 the 4th.
        QTest::newRow("four") << std::vector<double>{4, 1, 3, 2} << 2.0 << 4.0 << 4.0 << 4.0;
        QTest::newRow("one outlier in 200")
            << [] { std::vector<double> v(199, 1.0); v.push_back(500); return v; }() << 1.0 << 1.0
            << 1.0 << 500.0;
    }

    void percentiles()
    {
        QFETCH(std::vector<double>, samples);
        const Percentiles result = Percentiles::of(samples);
        QCOMPARE(result.count, samples.size());
        QTEST(result.p50, "p50");
        QTEST(result.p95, "p95");
        QTEST(result.p99, "p99");
        QTEST(result.max, "max");
    }

    void onlyLoopbackHosts_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("127.0.0.1") << u"127.0.0.1"_qs << true;
        QTest::newRow("127.255.0.9") << u"127.255.0.9"_qs << true;
        QTest::newRow("::1") << u"::1"_qs << true;
        QTest::newRow("private") << u"192.168.1.10"_qs << false;
        QTest::newRow("ten") << u"10.0.0.1"_qs << false;
        QTest::newRow("public") << u"8.8.8.8"_qs << false;
        QTest::newRow("128.0.0.1") << u"128.0.0.1"_qs << false;
        QTest::newRow("any") << u"0.0.0.0"_qs << false;
        QTest::newRow("v6 any") << u"::"_qs << false;
        QTest::newRow("name") << u"localhost"_qs << false;
    }

    void onlyLoopbackHosts()
    {
        QFETCH(QString, host);
        QTEST(isLoopbackAddress(host.toStdString()), "allowed");

        const std::string value = host.toStdString();
        const char *argv[] = {"loadtool", "--host", value.c_str()};
        Options options;
        std::string error;
        QTEST(parseOptions(3, argv, options, error), "allowed");
    }

    void optionsAreChecked()
    {
        Options options;
        std::string error;
        // A flag between options takes no value with it.
        const char *good[] = {"loadtool", "--clients", "1000", "--channels", "message,leave", "--burst",
                              "--mode",   "irc",       "--rate", "2.5", "--json"};
        QVERIFY(parseOptions(11, good, options, error));
        QVERIFY(options.burst);
        QCOMPARE(options.clients, 1000u);
        QCOMPARE(options.channels, ChannelBit::Message | ChannelBit::Leave);
        QVERIFY(options.mode == LoadMode::Irc);
        QCOMPARE(options.rate, 2.5);
        QVERIFY(options.json);

        for (const char *bad : {"--clients=5", "--channels", "--mode"}) {
            const char *argv[] = {"loadtool", bad, "talk"};
            Options fresh;
            QVERIFY2(!parseOptions(3, argv, fresh, error), bad);
        }
        const char *tooMany[] = {"loadtool", "--clients", "999999"};
        QVERIFY(!parseOptions(3, tooMany, options, error));
        const char *ports[] = {"loadtool", "--chat-ports", "1,2,3"};
        QVERIFY(!parseOptions(3, ports, options, error));
    }

    void joinNoticesCountedAcrossReads()
    {
        PatternCounter counter(" sohbete katıldı.");
        const std::string stream = "b00001 sohbete katıldı.b00002 sohbete katıldı.";
        for (std::size_t at = 0; at < stream.size(); at += 3)
            counter.feed(stream.data() + at, std::min<std::size_t>(3, stream.size() - at));
        QCOMPARE(counter.count(), 2u);
    }

    void procParsers()
    {
        const std::string status = "Name:\tx\nVmHWM:\t  2048 kB\nVmRSS:\t  1024 kB\nRssAnon:\t5 kB\n";
        QCOMPARE(ProcStats::statusKiB(status, "VmRSS"), 1024L);
        QCOMPARE(ProcStats::statusKiB(status, "VmHWM"), 2048L);
        QCOMPARE(ProcStats::statusKiB(status, "VmSwap"), -1L);
        // The command name may hold blanks and ')'.
        const std::string stat = "42 (a b) c) S 1 2 3 4 5 6 7 8 9 10 111 222 0 0 20";
        QCOMPARE(ProcStats::statTicks(stat), 333LL);
        QCOMPARE(ProcStats::statTicks("42 (x) S 1 2"), -1LL);
        QCOMPARE(ProcStats::schedstatNs("96766711 11799116 315\n"), 96766711LL);
        QCOMPARE(ProcStats::schedstatNs(""), -1LL);

        // Two milliseconds of work must show as such, not as 0 or a 10 ms tick.
        const int pid = static_cast<int>(QCoreApplication::applicationPid());
        const ProcSample before = ProcStats::read(pid);
        QVERIFY(before.valid);
        const auto threadCpu = [] {
            timespec now{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
            return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
        };
        for (const double start = threadCpu(); threadCpu() - start < 0.002;) {
        }
        const double spent = ProcStats::read(pid).cpuSeconds - before.cpuSeconds;
        QVERIFY2(spent >= 0.0019 && spent < 0.009, std::to_string(spent).c_str());
    }
};

QTEST_GUILESS_MAIN(TestLoadTool)
#include "tst_loadtool.moc"
