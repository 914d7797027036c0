#pragma once

#include "fuzzendpoint.h"
#include "fuzzprogram.h"

struct RelayRig;
class Referee;

// Runs the operations of a fuzz program against the rig, each followed by the
// referee's checks. Scheduled operations run inside the yields of whatever
// handler is running then, nested up to a fixed depth; deeper ones wait for a
// later yield.
class Interpreter
{
public:
    // How deep operations may nest inside each other's yields.
    static constexpr int MaxNesting = 12;
    // Connection elements per channel: enough for every path, small enough
    // that a roster broadcast stays cheap.
    static constexpr int MaxClients = 6;

    Interpreter(RelayRig &rig, Referee &referee) : m_rig(rig), m_referee(referee) {}

    void run(const FuzzProgram::Operation &op);
    // After the program: what is still scheduled runs, as pending events would.
    void drain();

private:
    void perform(const FuzzProgram::Operation &op);
    void schedule(const FuzzProgram::Operation &op);
    // 1 up to the highest index of the channel, or 0 when it has no client.
    int pickElement(Channel channel, quint8 pick);
    void fail(Channel channel, int index, quint8 how);
    void handOver(const FuzzProgram::Operation &op);

    RelayRig &m_rig;
    Referee &m_referee;
    int m_depth = 0;
    qintptr m_nextRequest = 1;
};
