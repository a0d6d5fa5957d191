// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>

namespace tramazel::xml {
class XmlDocument;
}

/// Synthetic centre files for the benchmarks, made by scripts/gen-centre.
namespace tramazel::bench {

/// A scratch folder under the system's temporary directory, created on first use.
std::filesystem::path scratchDir(const char* name);

/// Writes the synthetic centre of `scale` (1 = the sample school) to `file`;
/// exits the benchmark when the generator fails.
void generateCentre(int scale, const std::filesystem::path& file);

/// The centre of `scale` in `dir`, generated once and kept between runs.
std::filesystem::path centreFile(const std::filesystem::path& dir, int scale);

/// The centre of `scale` in `dir`, loaded once per process.
const xml::XmlDocument& loadedCentre(const std::filesystem::path& dir, int scale);

} // namespace tramazel::bench
