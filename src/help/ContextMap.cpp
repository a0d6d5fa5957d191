// SPDX-License-Identifier: GPL-3.0-or-later
#include "ContextMap.h"

#include "ChmFile.h"

#include "Bytes.h"

namespace tramazel::help {

namespace {

QString normalised(QString name)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    return name;
}

} // namespace

ContextMap::ContextMap(const QByteArray& ivb, const QByteArray& strings, int codePage)
{
    if (ivb.size() < 4)
        return;
    const auto* bytes = reinterpret_cast<const unsigned char*>(ivb.constData());
    // Offset 0: byte count of the pairs that follow; it may claim more than is there.
    const qsizetype count = qsizetype(std::min<std::uint64_t>(readU32(bytes), std::uint64_t(ivb.size() - 4)));
    for (qsizetype at = 4; at + 8 <= 4 + count; at += 8) {
        const std::uint32_t context = readU32(bytes + at);
        const std::uint32_t offset = readU32(bytes + at + 4);
        if (offset >= std::uint64_t(strings.size()))
            continue;
        const qsizetype start = qsizetype(offset);
        qsizetype end = strings.indexOf('\0', start);
        if (end < 0)
            end = strings.size();
        const QString text = decodeCodePage(strings.mid(start, end - start), codePage);
        if (!text.isEmpty())
            m_targets.emplace(context, text);
    }
}

std::optional<QString> ContextMap::target(std::uint32_t context) const
{
    const auto it = m_targets.find(context);
    if (it == m_targets.end())
        return std::nullopt;
    return it->second;
}

std::optional<QString> ContextMap::resolve(const QString& target, const QStringList& internalNames)
{
    // A fragment names a place inside the topic, not part of the file name.
    QString wanted = normalised(target);
    QString fragment;
    if (const qsizetype hash = wanted.indexOf(QLatin1Char('#')); hash >= 0) {
        fragment = wanted.mid(hash);
        wanted.truncate(hash);
    }
    if (wanted.isEmpty())
        return std::nullopt;
    for (const QString& name : internalNames) {
        const QString candidate = normalised(name);
        if (candidate.compare(wanted, Qt::CaseInsensitive) == 0)
            return candidate + fragment;
    }
    std::optional<QString> best;
    for (const QString& name : internalNames) {
        const QString candidate = normalised(name);
        if (candidate.isEmpty() || candidate.endsWith(QLatin1Char('/')) || candidate.size() >= wanted.size())
            continue;
        if (!wanted.endsWith(candidate, Qt::CaseInsensitive))
            continue;
        if (wanted.at(wanted.size() - candidate.size() - 1) != QLatin1Char('/'))
            continue;
        if (!best || candidate.size() > best->size())
            best = candidate;
    }
    if (best)
        *best += fragment;
    return best;
}

} // namespace tramazel::help
