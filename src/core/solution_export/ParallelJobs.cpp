// SPDX-License-Identifier: GPL-3.0-or-later
#include "solution_export/ParallelJobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <numeric>
#include <system_error>
#include <thread>

namespace tramazel::solution_export {

void runJobs(std::vector<Job>& jobs, std::uint64_t parallelFrom)
{
    std::vector<std::size_t> order(jobs.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
        [&](std::size_t a, std::size_t b) { return jobs[a].cost > jobs[b].cost; });

    std::vector<std::exception_ptr> errors(jobs.size());
    std::atomic<std::size_t> next { 0 };
    // The first job, in the order of `jobs`, known to have thrown: no job after it
    // needs to run any more.
    std::atomic<std::size_t> firstFailed { jobs.size() };
    const auto work = [&]() noexcept {
        for (std::size_t i = next.fetch_add(1); i < order.size(); i = next.fetch_add(1)) {
            const std::size_t job = order[i];
            if (job > firstFailed.load())
                continue;
            try {
                jobs[job].run();
            } catch (...) {
                errors[job] = std::current_exception();
                std::size_t seen = firstFailed.load();
                while (job < seen && !firstFailed.compare_exchange_weak(seen, job)) { }
            }
        }
    };

    std::uint64_t total = 0;
    for (const Job& job : jobs)
        total += job.cost;
    std::thread helper;
    if (jobs.size() > 1 && total >= parallelFrom && std::thread::hardware_concurrency() != 1) {
        try {
            helper = std::thread(work);
        } catch (const std::system_error&) {
            // No thread to be had: this one runs every job.
        }
    }
    work();
    if (helper.joinable())
        helper.join();
    for (const std::exception_ptr& error : errors) {
        if (error)
            std::rethrow_exception(error);
    }
}

} // namespace tramazel::solution_export
