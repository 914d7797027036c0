// libFuzzer target over the four data handlers and the roster procedures. The
// input is a program of client and operator actions (fuzzprogram.h), run on
// fake endpoints with a yield that runs further actions nested inside the
// handlers' broadcasts. The referee aborts at the first broken rule.
#include "interpreter.h"
#include "referee.h"
#include "relayrig.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Qt's warnings are noise here; a fatal message still ends the run, so
// libFuzzer records the input.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg || type == QtCriticalMsg) {
        std::fprintf(stderr, "relay_fuzzer: Qt: %s\n", message.toUtf8().constData());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quietMessages);
    // QCoreApplication keeps argc by reference and may rewrite argv: it gets its
    // own, not libFuzzer's. It lives until the process ends.
    static int argc = 1;
    static char name[] = "relay_fuzzer";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<FuzzProgram::Operation> program = FuzzProgram::parse(data, size);
    Referee referee;
    RelayRig rig(referee);
    referee.watch(rig);
    Interpreter interpreter(rig, referee);
    for (const FuzzProgram::Operation &op : program)
        interpreter.run(op);
    interpreter.drain();
    return 0;
}
