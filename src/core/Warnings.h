// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel {

/// Non-fatal hazards met during a run (the second channel beside Error). Each kind
/// keeps a count and its first few examples, so the report stays compact however
/// large the input. Texts are UTF-8.
class Warnings {
public:
    static constexpr std::size_t kExamplesPerKind = 5;
    /// Characters kept of an example; a longer one is cut and ends in "…".
    static constexpr std::size_t kExampleCharacters = 60;

    struct Kind {
        std::string description; ///< e.g. "códigos cortos repetidos en ASIGNOMT"
        std::size_t count = 0;
        std::vector<std::string> examples;
    };

    /// Counts one occurrence of `description`; keeps `example` (cut to
    /// kExampleCharacters) among the first few. Gives the kind's place in kinds(),
    /// which stays the same for the object's life.
    std::size_t add(std::string_view description, std::string_view example = {});
    /// The same as add() for the kind at `kind` in kinds(), without looking it up:
    /// for a hazard met on many records.
    void addTo(std::size_t kind, std::string_view example = {});

    bool empty() const noexcept { return m_kinds.empty(); }
    const std::vector<Kind>& kinds() const noexcept { return m_kinds; }
    std::size_t count(std::string_view description) const;

    /// One line per kind: "<description>: <count> (p. ej. a, b, c…)".
    std::vector<std::string> lines() const;
    /// The line of one kind, as lines() gives it.
    static std::string line(const Kind& kind);
    /// The same lines as a summary prints them, each after "Aviso: ".
    std::vector<std::string> summaryLines() const;

private:
    std::vector<Kind> m_kinds; // in order of first occurrence
};

} // namespace tramazel
