// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tramazel::solution_export {

/// One piece of work for runJobs(), with what it is expected to cost (bytes to read,
/// say), so that the costliest start first.
struct Job {
    std::function<void()> run;
    std::uint64_t cost = 0;
};

/// Runs `jobs`, which must not depend on each other, and returns once all have ended.
/// They run on this thread and, when there is more than one and their costs together
/// reach `parallelFrom`, on one other thread as well; the costliest start first.
/// Errors are those of a run one after the other in the order of `jobs`: the exception
/// rethrown is that of the first job in that order that threw, and jobs after it that
/// had not started by then are left out.
void runJobs(std::vector<Job>& jobs, std::uint64_t parallelFrom);

} // namespace tramazel::solution_export
