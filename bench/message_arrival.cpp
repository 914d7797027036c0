// One chat line arriving on the message channel with N connected clients, on
// fake endpoints: what the handler itself costs (reads, transcript lines,
// broadcasts and yields), without the kernel's share.
#include "fakedialogs.h"
#include "fakeendpoint.h"
#include "net/channels.h"
#include "relay/messagerelay.h"
#include "ui/transcriptview.h"
#include "ui/windowoperator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("%8s %14s %14s %16s\n", "clients", "arrival (us)", "empty bcast (us)", "yield passes");
    for (int n : {10, 100, 1000}) {
        FakeEndpointFactory factory;
        EventLoopYield yield;
        Channels channels(factory, yield);
        QWidget window;
        TranscriptView box(&window);
        QLineEdit nickname(&window);
        FakeDialogs dialogs;
        WindowOperator desk(window, box, nickname, dialogs);
        MessageRelay relay(channels, desk);
        for (int i = 0; i < n; ++i)
            connectClient(channels.Winsock());

        std::vector<double> arrivals, empties;
        const quint64 passesBefore = yield.passes();
        constexpr int Rounds = 21;
        for (int round = 0; round < Rounds; ++round) {
            fake(channels.Winsock(), 1 + round % n).inbox = QByteArray(64, 'x');
            QElapsedTimer t;
            t.start();
            relay.dataArrival();
            arrivals.push_back(t.nsecsElapsed() / 1000.0);

            t.restart();
            for (int i = 0; i < n; ++i)
                (void)channels.SendOnArray5(QByteArray());
            empties.push_back(t.nsecsElapsed() / 1000.0);
        }
        std::printf("%8d %14.1f %14.1f %16.1f\n", n, median(arrivals), median(empties),
                    double(yield.passes() - passesBefore) / Rounds);
    }
    return 0;
}
