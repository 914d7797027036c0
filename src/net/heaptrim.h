#pragma once

// A burst of traffic (the roster sent to a thousand clients, say) leaves the
// allocator holding memory the program has already freed; glibc keeps it for
// reuse and the operator's task manager counts it against the server. Hands
// it back to the system when enough has piled up. Cheap to call often.
void returnFreedMemory();
