#pragma once

#include <chrono>
#include <functional>

// Runs the main loop with a 1 ms timer until step, called on every tick, returns true, and returns
// the longest gap between two ticks: how responsive the loop stayed meanwhile.
std::chrono::steady_clock::duration runTicking(const std::function<bool()> &step);
