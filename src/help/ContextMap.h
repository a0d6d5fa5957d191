// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>

namespace tramazel::help {

/// The context numbers of a compiled help file and the topics they name, read from
/// its "/#IVB" (pairs of context number and offset into "/#STRINGS") and
/// "/#STRINGS" (NUL-terminated texts) files.
class ContextMap {
public:
    ContextMap() = default;
    /// Reads the two files' bytes; pairs that point outside "/#STRINGS" are skipped.
    /// `codePage` decodes the topic texts.
    ContextMap(const QByteArray& ivb, const QByteArray& strings, int codePage);

    /// The topic text stored for `context`, as the compiler wrote it.
    std::optional<QString> target(std::uint32_t context) const;
    std::size_t size() const { return m_targets.size(); }

    /// Maps a stored topic text onto one of `internalNames` (each with or without a
    /// leading "/"). Some compilers store the absolute path of the topic's source on
    /// the build machine instead of its internal name, so: an exact match ignoring
    /// letter case first, else the longest internal name that ends the text at a
    /// "/" boundary. Backslashes count as "/". Returns the name without leading "/".
    static std::optional<QString> resolve(const QString& target, const QStringList& internalNames);

private:
    std::map<std::uint32_t, QString> m_targets;
};

} // namespace tramazel::help
