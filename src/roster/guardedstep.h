#pragma once

#include <utility>

// Continue on error: a step that fails is skipped without a word and the next
// one runs, so nothing a timer tick or a menu command does can escape into the
// event loop. Callers wrap each step on its own. Qt reports no failure from
// the calls wrapped so, so what is caught is an exception such as running out
// of memory.
template <typename Step>
void guardedStep(Step &&step) noexcept
{
    try {
        std::forward<Step>(step)();
    } catch (...) {
        // Skipped on purpose: the next step (or tick) starts afresh.
    }
}
