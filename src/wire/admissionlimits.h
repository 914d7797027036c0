#pragma once

// How many connections one source address may have on one port, shared by the
// server and the web gateway so that a browser user is held to what a desktop
// client is held to. A pool's elements are never reused, so whoever connects
// and drops fast enough would use up all 32767 of them and lock everyone out
// until the server restarts. The figures are generous for a lab behind one NAT
// address: all its machines connecting at once (after a restart of the
// server, say), and each reconnecting now and then. One address churning at
// the full rate takes (32767 - Burst) / PerSecond seconds, over two hours, to
// fill a pool, and every other address gets on meanwhile.
struct AdmissionLimits
{
    // Connections open at once.
    int perAddress = 256;
    // Connections accepted in a row before the rate applies.
    int burst = 256;
    // New connections a second, on average, after the burst.
    int perSecond = 4;
    // Whether connections from this machine itself count. They are not
    // limited: the web gateway's users all arrive from there, and so do an
    // operator's own tests and demos, and nobody outside can send from a
    // loopback address.
    bool limitLoopback = false;
};
