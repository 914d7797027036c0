#include "termclient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sohbet-istemci"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Yazışma sunucusuna uçbirimden bağlanan sohbet istemcisi. Yazılan her satır "
            "sohbete gider; girdinin sonunda (Ctrl+D) istemci ayrılır."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("LAKAP"), QStringLiteral("Sohbetteki lakabınız."));
    parser.addPositionalArgument(QStringLiteral("SUNUCU"),
                                 QStringLiteral("Sunucunun adı ya da IP adresi (127.0.0.1)."),
                                 QStringLiteral("[SUNUCU]"));
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty() || args.size() > 2 || args.constFirst().isEmpty()) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return EXIT_FAILURE;
    }

    QTextStream out(stdout);
    QTextStream err(stderr);
    TermClient client(args.at(0), args.value(1, QStringLiteral("127.0.0.1")), out, err);
    QObject::connect(&client, &TermClient::finished, &app, &QCoreApplication::exit);
    client.start();
    return app.exec();
}
