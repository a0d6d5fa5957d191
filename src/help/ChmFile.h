// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ContextMap.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

struct chmFile;

namespace tramazel::help {

/// A compiled HTML help file opened for reading: its internal files, the facts its
/// "/#SYSTEM" file records and its context map. Holds the file open until destroyed.
class ChmFile {
public:
    /// Opens `path`; null when it is missing or not a readable compiled help file.
    static std::unique_ptr<ChmFile> open(const QString& path);
    ~ChmFile();
    ChmFile(const ChmFile&) = delete;
    ChmFile& operator=(const ChmFile&) = delete;

    const QString& path() const { return m_path; }

    /// The bytes of the internal file `name` ("main.htm" or "/main.htm", letter case
    /// ignored); nothing when the file lacks it or it cannot be read.
    std::optional<QByteArray> read(const QString& name) const;
    bool contains(const QString& name) const;
    /// True once an object the file lists could not be read whole: its compressed
    /// bytes do not decompress. Opening reads the system file and the context map;
    /// after the first failure no compressed object is read.
    bool isDamaged() const { return m_damaged; }
    /// Every internal file name, each with its leading "/", special files included.
    const QStringList& names() const { return m_names; }

    /// Internal names (without leading "/") of the contents and index sitemaps, the
    /// default topic, and the title; empty when the file does not record them.
    const QString& contentsFile() const { return m_contentsFile; }
    const QString& indexFile() const { return m_indexFile; }
    const QString& defaultTopic() const { return m_defaultTopic; }
    const QString& title() const { return m_title; }
    /// The Windows language identifier of the help file (0 when unknown).
    std::uint32_t lcid() const { return m_lcid; }

    /// Text of the help file without a charset of its own, decoded with the code
    /// page of its language (Windows-1252 for the western languages).
    QString decode(const QByteArray& bytes) const;

    /// The internal topic (without leading "/") of help context `context`.
    std::optional<QString> contextTopic(std::uint32_t context) const;
    const ContextMap& contextMap() const { return m_contextMap; }

private:
    ChmFile(QString path, chmFile* handle);
    void readSystem();
    QString decodeName(const QByteArray& bytes) const;

    QString m_path;
    chmFile* m_handle;
    QStringList m_names;
    QString m_contentsFile;
    QString m_indexFile;
    QString m_defaultTopic;
    QString m_title;
    std::uint32_t m_lcid = 0;
    ContextMap m_contextMap;
    mutable bool m_damaged = false;
};

/// Decodes `bytes` in Windows code page `codePage`; unknown pages fall back to Latin-1.
QString decodeCodePage(const QByteArray& bytes, int codePage);

/// The ANSI code page of a Windows language identifier.
int codePageOfLcid(std::uint32_t lcid);

} // namespace tramazel::help
