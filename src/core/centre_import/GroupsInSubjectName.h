// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::centre_import {

/// The groups a GestIB subject name is meant for. GestIB names many subjects with
/// the groups they are taught to as a suffix: "Matemàtiques-AB", "Cultura clàssica
/// I-ACE", "Biologia i geologia - A-1E". The name is split on "-" and each segment
/// trimmed; the segments after the first are looked at from the last one backwards,
/// and the first that designates groups of the course wins: a segment equal to a
/// group name, or, when every group name of the course is one character long, a
/// segment whose characters, trailing digits dropped, are all group names ("ACE1"
/// designates A, C and E).
///
/// `description` is the subject's GestIB description and `groupNames` the name of
/// every group of its course (any encoding, compared byte for byte). Returns the
/// designated names in the order of `groupNames`, each once; empty when no segment
/// designates a group, and then the subject is for every group of its course.
std::vector<std::string> groupsNamedInSubject(
    std::string_view description, std::span<const std::string> groupNames);

} // namespace tramazel::centre_import
