// sohbet-tani: why clients cannot get on, for the operator of the server.
#include "diagnosis.h"
#include "report.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

constexpr auto Usage =
        "Kullanım: sohbet-tani [--json]\n"
        "İstemcilerin sunucuya bağlanıp bağlanamayacağını denetler: verilecek adresler, dört portun\n"
        "(ve sohbet-web çalışıyorsa onun portunun) dinleyenleri, bu makineden erişim, güvenlik duvarı,\n"
        "sunucunun açık dosya sınırı.\n"
        "  --json   sonuçları JSON olarak yazar\n"
        "Çıkış durumu: 0 istemciler bağlanabilir, 1 sorun var (ilk sorun ilk satırda), 2 yanlış argüman.\n"
        "Güvenlik duvarını ve başka kullanıcıların süreçlerini görmek için: sudo sohbet-tani\n";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    bool json = false;
    const QStringList arguments = app.arguments().mid(1);
    for (const QString &argument : arguments) {
        if (argument == u"--json") {
            json = true;
        } else if (argument == u"-h" || argument == u"--help" || argument == u"--yardım") {
            std::fputs(Usage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "sohbet-tani: bilinmeyen argüman: %s\n%s", argument.toLocal8Bit().constData(),
                         Usage);
            return 2;
        }
    }
    const Diagnosis diagnosis = diagnose();
    const QByteArray report = json ? jsonReport(diagnosis) : textReport(diagnosis);
    std::fwrite(report.constData(), 1, size_t(report.size()), stdout);
    return diagnosis.problems.isEmpty() ? 0 : 1;
}
