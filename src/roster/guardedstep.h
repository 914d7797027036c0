#pragma once

#include <utility>

// The roster's timers run their steps one by one: a step that fails is
// skipped without a word and the next one runs, so nothing a tick does can
// escape into the event loop. Callers wrap each step on its own.
template <typename Step>
void guardedStep(Step &&step) noexcept
{
    try {
        std::forward<Step>(step)();
    } catch (...) {
        // Skipped on purpose: the next tick starts afresh.
    }
}
