// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

/// Why the export minds the processor's caches: on a large centre its time goes to
/// waits for memory, not to work. Three measures, each kept apart from the export's
/// steps:
///  - while the lookup tables are read, a record's key is first judged on one word of
///    its stored bytes against a small table of counts that stays in cache
///    (KeyHeads.h), so most records are turned away before their key is trimmed and
///    looked up;
///  - once all tables are read, each lookup is read back in address order
///    (Lookup::bringIntoCache), because the tables read since it was built have pushed
///    it out of the caches, and an ordered read, which the processor fetches ahead
///    of, costs less than one wait for memory per session looking it up at random;
///  - that read-back (bringIntoCache below) keeps what it read in a volatile, or the
///    compiler would leave out reads whose results nothing uses.
namespace tramazel::solution_export {

/// Brings every lookup of `lookups` into the caches before the sessions look them up.
template <typename... Lookups> void bringIntoCache(const Lookups&... lookups) noexcept
{
    volatile std::uint64_t readBack = (lookups.bringIntoCache() + ...);
    (void)readBack;
}

} // namespace tramazel::solution_export
