#pragma once

class RosterModel;

// Removes every later exact duplicate (same bytes) from the roster, keeping the
// first occurrence of each entry and the order of the rest. The selected entry
// stays selected where it moves to; a selected later duplicate hands its
// selection to the first occurrence, which is the same text.
void RemoveDuplicates(RosterModel &roster);
