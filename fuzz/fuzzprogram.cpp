#include "fuzzprogram.h"

namespace FuzzProgram {

QByteArray Reader::text()
{
    const int n = byte() % (MaxText + 1);
    QByteArray bytes;
    for (int i = 0; i < n && !atEnd(); ++i)
        bytes.append(char(byte()));
    return bytes;
}

namespace {

Operation parseOne(Reader &in, int depth, int &budget)
{
    --budget;
    Operation op;
    op.kind = Kind(in.byte() % quint8(Kind::KindCount));
    switch (op.kind) {
    case Kind::Connect:
        op.arg = in.byte();
        break;
    case Kind::Arrive:
    case Kind::ArriveQuietly:
        op.arg = in.byte();
        op.pick = in.byte();
        op.text = in.text();
        break;
    case Kind::Drop:
    case Kind::Close:
    case Kind::Fail:
        op.arg = in.byte();
        op.pick = in.byte();
        break;
    case Kind::OperatorSend:
    case Kind::SetNickname:
        op.text = in.text();
        break;
    case Kind::HandOver:
        op.arg = in.byte();
        if (op.arg & 1)
            op.pick = in.byte();
        else
            op.text = in.text();
        break;
    case Kind::Select:
        op.pick = in.byte();
        break;
    case Kind::Schedule:
        op.delay = 1 + in.byte() % MaxDelay;
        // Too deep, or out of budget: the schedule becomes a tidy tick.
        if (depth >= MaxScheduleDepth || budget <= 0)
            op.kind = Kind::TidyTick;
        else
            op.inner = std::make_shared<const Operation>(parseOne(in, depth + 1, budget));
        break;
    default:
        break;
    }
    return op;
}

} // namespace

std::vector<Operation> parse(const quint8 *data, size_t size)
{
    Reader in(data, size);
    std::vector<Operation> program;
    int budget = MaxOperations;
    while (!in.atEnd() && budget > 0)
        program.push_back(parseOne(in, 0, budget));
    return program;
}

} // namespace FuzzProgram
