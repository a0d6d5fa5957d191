// SPDX-License-Identifier: GPL-3.0-or-later
#include "FaultInjection.h"

#include <atomic>

namespace tramazel::dbf {

namespace {

// Above 0: operations left until the failure; 0: disarmed (or fired once);
// -1: fired, and every operation fails from now on.
std::atomic<std::int64_t> g_countdown { 0 };
std::atomic<bool> g_sticky { false };
std::atomic<bool> g_fired { false };

} // namespace

void FaultInjection::failOperation(std::uint64_t n, Mode mode) noexcept
{
    g_fired.store(false);
    g_sticky.store(mode == Mode::FromThenOn);
    g_countdown.store(static_cast<std::int64_t>(n));
}

void FaultInjection::disarm() noexcept
{
    g_countdown.store(0);
    g_sticky.store(false);
    g_fired.store(false);
}

bool FaultInjection::fired() noexcept
{
    return g_fired.load();
}

bool FaultInjection::failNow() noexcept
{
    const std::int64_t left = g_countdown.load(std::memory_order_relaxed);
    if (left == 0)
        return false;
    if (left < 0)
        return true;
    if (left > 1) {
        g_countdown.store(left - 1);
        return false;
    }
    g_countdown.store(g_sticky.load() ? -1 : 0);
    g_fired.store(true);
    return true;
}

} // namespace tramazel::dbf
