#ifndef CIPHERBENCH_TESTS_PUMP_H
#define CIPHERBENCH_TESTS_PUMP_H

#include <functional>

// Processes events until `done` holds; gives up after `limitMs` (a safety
// net against a hang, not a timing assumption). Returns whether `done` held.
bool pumpUntil(const std::function<bool()> &done, int limitMs = 30000);

#endif
