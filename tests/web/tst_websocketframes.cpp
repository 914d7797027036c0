// The frame codec on bytes alone: what a browser's frames read as, whole or
// cut anywhere, and what the server writes on the wire.
#include "websocketframes.h"

#include <QTest>

#include <algorithm>

namespace {

// A frame as a browser sends it, masked unless told otherwise.
QByteArray frame(quint8 first, const QByteArray &payload, bool masked = true)
{
    const qsizetype size = payload.size();
    const int lengthSize = size < 126 ? 0 : size < 65536 ? 2 : 8;
    QByteArray out(1, char(first));
    out += char((masked ? 0x80 : 0) | (lengthSize == 0 ? size : lengthSize == 2 ? 126 : 127));
    for (int i = lengthSize - 1; i >= 0; --i)
        out += char(quint64(size) >> (8 * i));
    if (!masked)
        return out + payload;
    const QByteArray key("\x5a\xc3\x0f\x99");
    out += key;
    for (qsizetype i = 0; i < size; ++i)
        out += char(payload[i] ^ key[i % 4]);
    return out;
}

QByteArray describe(const FrameReader::Event &event)
{
    static const char *const kinds[] = {"None", "Text", "Ping", "Pong", "Close", "Fail"};
    QByteArray text(kinds[int(event.kind)]);
    if (event.code != 0)
        text += ' ' + QByteArray::number(event.code);
    return text + ':' + event.payload;
}

// Feeds input in pieces of chunk bytes and reads every event after each; a
// reader that has failed must go on failing.
QByteArrayList readAll(FrameReader &reader, const QByteArray &input, qsizetype chunk)
{
    QByteArrayList events;
    for (qsizetype at = 0; at < input.size(); at += chunk) {
        reader.feed(input.constData() + at, std::min(chunk, input.size() - at));
        for (auto event = reader.next(); event.kind != FrameReader::Kind::None; event = reader.next()) {
            events += describe(event);
            if (event.kind == FrameReader::Kind::Fail)
                return reader.next().kind == event.kind ? events : events << "then not Fail";
        }
    }
    return events;
}

constexpr qint64 Cap = 1 << 17;

} // namespace

class TestWebSocketFrames : public QObject
{
    Q_OBJECT

private slots:
    void reads_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<qint64>("cap");
        QTest::addColumn<QByteArrayList>("events");

        const QByteArray turkish("çay ve şeker 👋"), mid(126, 'o'), big(65536, 'b'), part(600, 'p');
        const auto fail = [](int code) { return QByteArrayList{"Fail " + QByteArray::number(code) + ':'}; };
        QTest::newRow("short text") << frame(0x81, turkish) << Cap << QByteArrayList{"Text:" + turkish};
        QTest::newRow("empty text") << frame(0x81, {}) << Cap << QByteArrayList{"Text:"};
        QTest::newRow("16-bit length") << frame(0x81, mid) << Cap << QByteArrayList{"Text:" + mid};
        QTest::newRow("64-bit length") << frame(0x81, big) << Cap << QByteArrayList{"Text:" + big};
        QTest::newRow("three fragments, a ping between, a letter split")
            << frame(0x01, "G\xC3") + frame(0x00, "\xBCnayd") + frame(0x89, "?") + frame(0x80, "\xC4\xB1n") << Cap
            << QByteArrayList{"Ping:?", "Text:Günaydın"};
        QTest::newRow("a message of exactly the cap") << frame(0x01, part) + frame(0x80, part) << 1200LL
                                                      << QByteArrayList{"Text:" + part + part};
        QTest::newRow("close with a code") << frame(0x88, "\x03\xE8görüşürüz") << Cap
                                           << QByteArrayList{"Close 1000:görüşürüz"};
        QTest::newRow("close without, mid-message; nothing read after")
            << frame(0x01, "a") + frame(0x88, {}) + frame(0x80, "x") << Cap << QByteArrayList{"Close 1005:"};
        QTest::newRow("unmasked") << frame(0x81, "x", false) << Cap << fail(1002);
        QTest::newRow("RSV1") << frame(0xC1, "x") << Cap << fail(1002);
        QTest::newRow("unknown opcode") << frame(0x83, "x") << Cap << fail(1002);
        QTest::newRow("ping of 126 bytes") << frame(0x89, mid) << Cap << fail(1002);
        QTest::newRow("ping not final") << frame(0x09, "x") << Cap << fail(1002);
        QTest::newRow("continuation first") << frame(0x80, "x") << Cap << fail(1002);
        QTest::newRow("text inside a message") << frame(0x01, "a") + frame(0x81, "b") << Cap << fail(1002);
        QTest::newRow("close of 1 byte") << frame(0x88, "\x03") << Cap << fail(1002);
        QTest::newRow("64-bit length, top bit") << QByteArray("\x81\xFF\x80\0\0\0\0\0\0\0\1\2\3\4", 14) << Cap
                                                << fail(1002);
        QTest::newRow("binary") << frame(0x82, "x") << Cap << fail(1003);
        // Only the second header: the cap is decided before its payload comes.
        QTest::newRow("fragments over the cap") << frame(0x01, part) + frame(0x80, part).first(8) << 1199LL
                                                << fail(1009);
        QTest::newRow("overlong /") << frame(0x81, "\xC0\xAF") << Cap << fail(1007);
        QTest::newRow("surrogate") << frame(0x81, "\xED\xA0\x80") << Cap << fail(1007);
        QTest::newRow("close reason not UTF-8") << frame(0x88, "\x03\xE8\xFF") << Cap << fail(1007);
    }

    void reads()
    {
        QFETCH(QByteArray, input);
        QFETCH(qint64, cap);
        QFETCH(QByteArrayList, events);
        for (const qsizetype chunk : {input.size(), qsizetype(1)}) {
            FrameReader reader(cap);
            QCOMPARE(readAll(reader, input, chunk), events);
            QCOMPARE(reader.held(), qsizetype(0));
        }
    }

    void writes_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QByteArray>("bytes");

        const QByteArray a200(200, 'a'), a122(122, 'a');
        QTest::newRow("short text") << WebSocketFrames::text("merhaba") << QByteArray("\x81\x07merhaba");
        QTest::newRow("200-byte text") << WebSocketFrames::text(a200) << QByteArray("\x81\x7E\x00\xC8", 4) + a200;
        QTest::newRow("accept key, RFC 6455's example")
            << WebSocketFrames::acceptKey("dGhlIHNhbXBsZSBub25jZQ==") << QByteArray("s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
        QTest::newRow("pong") << WebSocketFrames::pong("?") << QByteArray("\x8A\x01?");
        QTest::newRow("close, reason cut before a letter")
            << WebSocketFrames::close(1001, a122 + "ş") << "\x88\x7C\x03\xE9" + a122;
    }

    void writes()
    {
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, bytes);
        QCOMPARE(written, bytes);
    }
};

QTEST_GUILESS_MAIN(TestWebSocketFrames)
#include "tst_websocketframes.moc"
