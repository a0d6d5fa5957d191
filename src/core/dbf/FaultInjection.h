// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

/// A seam in the engine's file layer for tests: it makes the n-th operation that can
/// lose data (a write, a flush or a close of a file open for writing) fail, as a
/// device that fails after a number of operations would. The failed operation
/// writes nothing and reports failure to its caller like a real one. Disarmed, it
/// costs one relaxed atomic load per operation.
namespace tramazel::dbf {

class FaultInjection {
public:
    enum class Mode {
        Once, ///< only the n-th operation fails
        FromThenOn, ///< the n-th operation and every one after it fail (a full disk)
    };

    /// Arms the seam: the `n`-th operation from now (1-based) fails. 0 disarms.
    static void failOperation(std::uint64_t n, Mode mode = Mode::Once) noexcept;
    /// Disarms the seam and forgets whether it fired.
    static void disarm() noexcept;
    /// True once the armed failure has happened.
    static bool fired() noexcept;

    /// Called by the file layer before each operation; true means "fail this one".
    static bool failNow() noexcept;
};

} // namespace tramazel::dbf
