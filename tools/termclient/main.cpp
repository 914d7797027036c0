#include "termclient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

namespace {

// Written out rather than QCommandLineParser's help, whose headings and
// messages are English.
const QString Usage = QStringLiteral(
        "Kullanım: sohbet-istemci [-h] LAKAP [SUNUCU]\n"
        "\n"
        "Yazışma sunucusuna uçbirimden bağlanan sohbet istemcisi. Yazılan her satır\n"
        "sohbete gider; girdinin sonunda (Ctrl+D) istemci ayrılır.\n"
        "\n"
        "Seçenekler:\n"
        "  -h, --help  Bu yardımı gösterir.\n"
        "\n"
        "Argümanlar:\n"
        "  LAKAP       Sohbetteki lakabınız.\n"
        "  SUNUCU      Sunucunun adı ya da IP adresi (öntanımlı 127.0.0.1).\n");

int usageError(const QString &problem)
{
    QTextStream err(stderr);
    if (!problem.isEmpty())
        err << QStringLiteral("sohbet-istemci: ") << problem << '\n';
    err << Usage;
    return EXIT_FAILURE;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sohbet-istemci"));

    QCommandLineParser parser;
    const QCommandLineOption help(
            QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")});
    parser.addOption(help);
    if (!parser.parse(QCoreApplication::arguments())) {
        const QStringList unknown = parser.unknownOptionNames();
        return usageError(unknown.isEmpty()
                                  ? QStringLiteral("seçenekler okunamadı.")
                                  : QStringLiteral("bilinmeyen seçenek: ") + unknown.join(u' '));
    }
    if (parser.isSet(help)) {
        QTextStream(stdout) << Usage;
        return EXIT_SUCCESS;
    }
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty() || args.size() > 2 || args.constFirst().isEmpty())
        return usageError({});

    QTextStream out(stdout);
    QTextStream err(stderr);
    TermClient client(args.at(0), args.value(1, QStringLiteral("127.0.0.1")), out, err);
    QObject::connect(&client, &TermClient::finished, &app, &QCoreApplication::exit);
    client.start();
    return app.exec();
}
