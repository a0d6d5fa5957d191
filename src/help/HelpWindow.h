// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Sitemap.h"

#include <QHash>
#include <QWidget>

#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QAction;

namespace tramazel::help {

class ChmBrowser;
class ChmFile;

/// The window that shows one compiled help file: contents and index on the left,
/// the topic on the right, Back and Forward above. A file that cannot be read, or
/// a request the file cannot answer, is said in a line above the topic.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(const QString& chmPath, QWidget* parent = nullptr);
    ~HelpWindow() override;

    const QString& chmPath() const { return m_chmPath; }
    bool isReadable() const { return m_chm != nullptr; }

    /// The contents tab, and the default topic when no topic is shown yet.
    void showContents();
    /// The index tab with `keyword` typed in its search line.
    void showIndex(const QString& keyword);
    /// Internal topic `topic` ("page.htm#place"); the default topic when empty.
    void showTopic(const QString& topic);
    /// The topic the file's context map gives for `context`.
    void showContext(std::uint32_t context);

    /// The line that reports what could not be shown; empty when all went well.
    QString message() const;
    ChmBrowser* browser() const { return m_browser; }
    QTreeWidget* contentsTree() const { return m_contents; }
    QListWidget* indexList() const { return m_index; }
    QLineEdit* indexSearch() const { return m_search; }
    QTabWidget* tabs() const { return m_tabs; }

private:
    void buildContents(QTreeWidgetItem* parent, const std::vector<SitemapEntry>& entries);
    void buildIndex(const std::vector<SitemapEntry>& entries, int depth);
    void selectIndexEntry(const QString& text);
    void openIndexEntry(QListWidgetItem* item);
    void openTopic(const QString& topic);
    void showDefaultTopic();
    void syncContents(const QUrl& url);
    void setMessage(const QString& text);
    QString defaultTopic() const;

    QString m_chmPath;
    std::unique_ptr<ChmFile> m_chm;
    QTabWidget* m_tabs = nullptr;
    QTreeWidget* m_contents = nullptr;
    QLineEdit* m_search = nullptr;
    QListWidget* m_index = nullptr;
    ChmBrowser* m_browser = nullptr;
    QLabel* m_message = nullptr;
    QAction* m_back = nullptr;
    QAction* m_forward = nullptr;
    QHash<QString, QTreeWidgetItem*> m_itemOfTopic; // topic in lower case, without "#place"
    QString m_firstContentsTopic;
};

} // namespace tramazel::help
