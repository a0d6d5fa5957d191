// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelpManager.h"

#include <algorithm>

namespace tramazel::help {

HelpManager::~HelpManager()
{
    for (const Registered& r : m_viewers)
        r.viewer->setHelpManager(nullptr);
}

int HelpManager::registerViewer(std::shared_ptr<HelpViewer> viewer)
{
    const int id = m_nextId++;
    viewer->notifyId(id);
    viewer->setHelpManager(this);
    m_viewers.push_back({ id, std::move(viewer) });
    return id;
}

void HelpManager::release(int viewerId)
{
    std::erase_if(m_viewers, [viewerId](const Registered& r) { return r.id == viewerId; });
}

void HelpManager::showTableOfContents()
{
    // Copies of the references: a viewer may release itself while it serves.
    std::vector<std::shared_ptr<HelpViewer>> able;
    for (const Registered& r : m_viewers) {
        if (r.viewer->canShowTableOfContents())
            able.push_back(r.viewer);
    }
    if (able.empty())
        return;
    if (able.size() == 1 || !m_selector) {
        able.front()->showTableOfContents();
        return;
    }
    std::stable_sort(able.begin(), able.end(), [](const auto& a, const auto& b) {
        return a->viewerName().compare(b->viewerName(), Qt::CaseInsensitive) < 0;
    });
    QStringList names;
    for (const auto& viewer : able)
        names << viewer->viewerName();
    const int chosen = m_selector->tableOfContents(names);
    if (chosen >= 0 && chosen < int(able.size()))
        able[std::size_t(chosen)]->showTableOfContents();
}

void HelpManager::showKeyword(const QString& keyword)
{
    std::vector<std::shared_ptr<HelpViewer>> owners;
    QStringList strings;
    for (const Registered& r : m_viewers) {
        if (r.viewer->understandsKeyword(keyword) <= 0)
            continue;
        for (const QString& s : r.viewer->helpStrings(keyword)) {
            owners.push_back(r.viewer);
            strings << s;
        }
    }
    if (strings.isEmpty())
        return;
    int chosen = 0;
    if (strings.size() > 1 && m_selector)
        chosen = m_selector->selectKeyword(strings);
    if (chosen >= 0 && chosen < strings.size())
        owners[std::size_t(chosen)]->showHelp(strings[chosen]);
}

void HelpManager::showContext(int context, const QString& helpFile)
{
    m_helpFile = helpFile;
    const auto viewers = m_viewers;
    for (const Registered& r : viewers) {
        auto* extended = dynamic_cast<ContextHelpViewer*>(r.viewer.get());
        if (extended && extended->understandsContext(context, helpFile)) {
            extended->displayHelpByContext(context, helpFile);
            return;
        }
    }
}

void HelpManager::showTopic(const QString& topic, const QString& helpFile)
{
    m_helpFile = helpFile;
    const auto viewers = m_viewers;
    for (const Registered& r : viewers) {
        auto* extended = dynamic_cast<ContextHelpViewer*>(r.viewer.get());
        if (extended && extended->understandsTopic(topic)) {
            extended->displayTopic(topic);
            return;
        }
    }
}

void HelpManager::softShutDownAll()
{
    const auto viewers = m_viewers;
    for (const Registered& r : viewers)
        r.viewer->softShutDown();
}

} // namespace tramazel::help
