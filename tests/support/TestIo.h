// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/IoHooks.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

/// I/O hooks for tests: a device that fails after a number of operations, and a
/// record of what was made durable. Each object owns its hooks; pass hooks() to the
/// code under test while the object lives.
namespace tramazel::test {

/// Hooks that make the k-th operation that can lose data (a write, a flush, or the
/// close of a file opened for writing) fail, as a device that fails after a number
/// of operations would: a failed write or flush sends nothing, a failed close closes
/// the file and reports failure. Every other operation is the system's own.
class FailingIo {
public:
    enum class Mode {
        Once, ///< only the k-th operation fails
        FromThenOn, ///< the k-th operation and every one after it fail (a full disk)
    };

    /// Fails the `k`-th operation (1-based); 0 fails none and only counts them.
    explicit FailingIo(std::uint64_t k = 0, Mode mode = Mode::Once);
    FailingIo(const FailingIo&) = delete;
    FailingIo& operator=(const FailingIo&) = delete;

    const platform::IoHooks* hooks() const noexcept { return &m_hooks; }
    /// The operations that could lose data seen so far.
    std::uint64_t operations() const;
    /// True once the k-th operation has failed.
    bool fired() const;

private:
    bool failNow();

    platform::IoHooks m_hooks;
    mutable std::mutex m_mutex; // the export reads on two threads
    std::set<std::FILE*> m_writable;
    std::uint64_t m_failAt;
    Mode m_mode;
    std::uint64_t m_count = 0;
    bool m_fired = false;
};

/// Hooks that record every sync and rename once it succeeded, in order, with paths
/// relative to `base` ("." for `base` itself): "sync .tramazel-staging/PROFT.DBF",
/// "sync-folder .", "rename .tramazel-journal.new > .tramazel-journal".
class DurableSteps {
public:
    explicit DurableSteps(std::filesystem::path base);
    DurableSteps(const DurableSteps&) = delete;
    DurableSteps& operator=(const DurableSteps&) = delete;

    const platform::IoHooks* hooks() const noexcept { return &m_hooks; }
    const std::vector<std::string>& steps() const noexcept { return m_steps; }
    void clear() { m_steps.clear(); }

private:
    std::string relative(const std::filesystem::path& p) const;

    platform::IoHooks m_hooks;
    std::filesystem::path m_base;
    std::vector<std::string> m_steps;
};

} // namespace tramazel::test
