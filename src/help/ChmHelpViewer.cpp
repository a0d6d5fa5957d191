// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChmHelpViewer.h"

#include "HelpManager.h"
#include "shell/ProgramTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string>
#include <utility>
#include <vector>

namespace tramazel::help {

namespace {

bool isSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':');
#else
    return c == QLatin1Char('/');
#endif
}

bool hasDirectoryPart(const QString& name)
{
    return std::any_of(name.begin(), name.end(), isSeparator);
}

// Removes leading and trailing characters up to and including the blank.
QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

ChmHelpViewer::ChmHelpViewer(std::shared_ptr<HtmlHelp> htmlHelp, std::function<QString()> applicationHelpFile,
    std::function<QString()> executableDir)
    : m_htmlHelp(std::move(htmlHelp))
    , m_applicationHelpFile(std::move(applicationHelpFile))
    , m_executableDir(std::move(executableDir))
{
    if (!m_executableDir)
        m_executableDir = [] { return QCoreApplication::applicationDirPath(); };
}

namespace {

QString requestedFile(const HelpManager* manager, const std::function<QString()>& applicationHelpFile)
{
    QString file;
    if (manager)
        file = manager->helpFile();
    if (file.isEmpty() && applicationHelpFile)
        file = applicationHelpFile();
    return file;
}

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

} // namespace

QStringList ChmHelpViewer::placesLookedIn() const
{
    const QString file = requestedFile(m_manager, m_applicationHelpFile);
    if (file.isEmpty() || hasDirectoryPart(file))
        return file.isEmpty() ? QStringList() : QStringList { file };
    QString dir = m_executableDir();
    if (!dir.isEmpty() && !isSeparator(dir.back()))
        dir += QLatin1Char('/');
    // Beside the executable first; an installed program keeps its data in
    // share/tramazel beside its bin folder.
    return { dir + file, QDir::cleanPath(dir + QStringLiteral("../share/tramazel/") + file) };
}

QString ChmHelpViewer::resolvedHelpFile() const
{
    const QStringList places = placesLookedIn();
    if (places.isEmpty())
        return QString();
    for (const QString& place : places) {
        if (QFileInfo::exists(place))
            return place;
    }
    return places.front();
}

QString ChmHelpViewer::takeProblem()
{
    return std::exchange(m_problem, QString());
}

bool ChmHelpViewer::reachable(const QString& file)
{
    if (!QFileInfo::exists(file)) {
        std::vector<std::string> places;
        for (const QString& place : placesLookedIn())
            places.push_back(utf8(QDir::toNativeSeparators(place)));
        m_problem
            = QString::fromStdString(shell::helpFileMissingMessage(utf8(QFileInfo(file).fileName()), places));
        return false;
    }
    QFile probe(file);
    if (!QFileInfo(file).isFile() || !probe.open(QIODevice::ReadOnly)) {
        m_problem
            = QString::fromStdString(shell::helpFileUnreadableMessage(utf8(QDir::toNativeSeparators(file))));
        return false;
    }
    return true;
}

bool ChmHelpViewer::isHelpFile(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    return name.mid(dot).compare(QLatin1String(".chm"), Qt::CaseInsensitive) == 0;
}

int ChmHelpViewer::understandsKeyword(const QString&) const
{
    return isHelpFile(resolvedHelpFile()) ? 1 : 0;
}

QStringList ChmHelpViewer::helpStrings(const QString& keyword) const
{
    return { QStringLiteral("%1: %2").arg(viewerName(), keyword) };
}

void ChmHelpViewer::showTableOfContents()
{
    const QString file = resolvedHelpFile();
    if (isHelpFile(file) && reachable(file))
        htmlHelp(file, HtmlHelpCommand::DisplayToc);
}

void ChmHelpViewer::showHelp(const QString& helpString)
{
    const QString file = resolvedHelpFile();
    if (!isHelpFile(file) || !reachable(file))
        return;
    QString keyword = helpString;
    if (const qsizetype colon = keyword.indexOf(QLatin1Char(':')); colon >= 0)
        keyword.remove(0, colon + 1);
    htmlHelp(file, HtmlHelpCommand::DisplayIndex, { trimBlanks(keyword), 0 });
}

void ChmHelpViewer::softShutDown()
{
    htmlHelp(QString(), HtmlHelpCommand::CloseAll);
}

void ChmHelpViewer::shutDown()
{
    softShutDown();
    m_manager = nullptr;
}

bool ChmHelpViewer::understandsTopic(const QString&) const
{
    return isHelpFile(resolvedHelpFile());
}

void ChmHelpViewer::displayTopic(const QString& topic)
{
    const QString file = resolvedHelpFile();
    if (!isHelpFile(file) || !reachable(file))
        return;
    // The extension is that of the file name, not of a "#place" inside the topic.
    const qsizetype hash = topic.indexOf(QLatin1Char('#'));
    const QString fileName = hash < 0 ? topic : topic.left(hash);
    const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > slash ? fileName.mid(dot).toLower() : QString();
    QString target = topic;
    if (extension != QLatin1String(".htm") && extension != QLatin1String(".html"))
        target = hash < 0 ? topic + defaultTopicExtension()
                          : fileName + defaultTopicExtension() + topic.mid(hash);
    htmlHelp(file + QLatin1String("::/") + target, HtmlHelpCommand::DisplayTopic);
}

bool ChmHelpViewer::understandsContext(int, const QString& helpFile) const
{
    return isHelpFile(helpFile);
}

void ChmHelpViewer::displayHelpByContext(int context, const QString&)
{
    const QString file = resolvedHelpFile();
    if (isHelpFile(file) && reachable(file))
        htmlHelp(file, HtmlHelpCommand::HelpContext, { QString(), std::uint32_t(context) });
}

int ChmHelpViewer::selectKeyword(const QStringList& helpStrings)
{
    for (qsizetype i = 0; i < helpStrings.size(); ++i) {
        const QString& entry = helpStrings[i];
        const qsizetype colon = entry.indexOf(QLatin1Char(':'));
        if ((colon < 0 ? entry : entry.left(colon)) == viewerName())
            return int(i);
    }
    return 0;
}

int ChmHelpViewer::tableOfContents(const QStringList& viewerNames)
{
    for (qsizetype i = 0; i < viewerNames.size(); ++i) {
        if (viewerNames[i].compare(viewerName(), Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

void ChmHelpViewer::htmlHelp(const QString& file, HtmlHelpCommand command, const HtmlHelpData& data)
{
    if (!m_htmlHelp)
        return;
    if (command == HtmlHelpCommand::CloseAll) {
        m_htmlHelp->call(nullptr, QString(), command, data);
        return;
    }
    m_htmlHelp->call(m_manager ? m_manager->owner() : nullptr, file, command, data);
}

} // namespace tramazel::help
