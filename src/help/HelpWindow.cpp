// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelpWindow.h"

#include "ChmBrowser.h"
#include "ChmFile.h"
#include "shell/ProgramTexts.h"

#include <QAction>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace tramazel::help {

namespace {

constexpr int topicRole = Qt::UserRole;

QString topicKey(const QString& topic)
{
    QString key = topic;
    if (const qsizetype hash = key.indexOf(QLatin1Char('#')); hash >= 0)
        key.truncate(hash);
    key.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (key.startsWith(QLatin1Char('/')))
        key.remove(0, 1);
    return key.toLower();
}

} // namespace

HelpWindow::HelpWindow(const QString& chmPath, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_chmPath(chmPath)
    , m_chm(ChmFile::open(chmPath))
{
    setObjectName(QStringLiteral("HelpWindow"));
    resize(1000, 680);

    auto* toolBar = new QToolBar(this);
    toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_back = toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("Atrás"));
    m_forward
        = toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QStringLiteral("Adelante"));
    QAction* home
        = toolBar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QStringLiteral("Inicio"));
    // Always a way out, with or without a window manager's frame: the button, Escape
    // and the usual close key.
    auto* spacer = new QWidget(toolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolBar->addWidget(spacer);
    QAction* close
        = toolBar->addAction(style()->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Cerrar"));
    close->setObjectName(QStringLiteral("close"));
    close->setShortcuts({ QKeySequence(Qt::Key_Escape), QKeySequence::Close });
    close->setShortcutContext(Qt::WindowShortcut);
    connect(close, &QAction::triggered, this, &QWidget::close);
    m_back->setShortcut(QKeySequence::Back);
    m_forward->setShortcut(QKeySequence::Forward);
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    m_tabs = new QTabWidget;
    m_contents = new QTreeWidget;
    m_contents->setHeaderHidden(true);
    m_contents->setObjectName(QStringLiteral("contents"));
    m_tabs->addTab(m_contents, QStringLiteral("Contenido"));

    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(4, 4, 4, 4);
    indexLayout->addWidget(new QLabel(QStringLiteral("Escriba la palabra clave que busca:")));
    m_search = new QLineEdit;
    m_search->setObjectName(QStringLiteral("indexSearch"));
    indexLayout->addWidget(m_search);
    m_index = new QListWidget;
    m_index->setObjectName(QStringLiteral("index"));
    indexLayout->addWidget(m_index);
    auto* display = new QPushButton(QStringLiteral("Mostrar"));
    indexLayout->addWidget(display, 0, Qt::AlignRight);
    m_tabs->addTab(indexPage, QStringLiteral("Índice"));

    auto* topicPane = new QWidget;
    auto* topicLayout = new QVBoxLayout(topicPane);
    topicLayout->setContentsMargins(0, 0, 0, 0);
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("message"));
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setStyleSheet(
        QStringLiteral("QLabel { background: #fff4d6; border: 1px solid #d9b44a; padding: 6px; }"));
    m_message->hide();
    topicLayout->addWidget(m_message);
    m_browser = new ChmBrowser;
    topicLayout->addWidget(m_browser);

    auto* splitter = new QSplitter;
    splitter->addWidget(m_tabs);
    splitter->addWidget(topicPane);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({ 290, 710 });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar);
    layout->addWidget(splitter);

    connect(m_back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(home, &QAction::triggered, this, &HelpWindow::showDefaultTopic);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpWindow::syncContents);
    connect(m_browser, &ChmBrowser::missingTopic, this, [this](const QString& topic) {
        setMessage(QStringLiteral("El tema «%1» no está en el archivo de ayuda.").arg(topic));
    });
    connect(m_contents, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const QString topic = item->data(0, topicRole).toString();
        if (!topic.isEmpty())
            openTopic(topic);
    });
    connect(m_contents, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString topic = item->data(0, topicRole).toString();
        if (!topic.isEmpty())
            openTopic(topic);
    });
    connect(m_search, &QLineEdit::textEdited, this, &HelpWindow::selectIndexEntry);
    connect(m_search, &QLineEdit::returnPressed, this, [this] { openIndexEntry(m_index->currentItem()); });
    connect(m_index, &QListWidget::itemActivated, this, &HelpWindow::openIndexEntry);
    connect(display, &QPushButton::clicked, this, [this] { openIndexEntry(m_index->currentItem()); });

    if (!m_chm) {
        setWindowTitle(QStringLiteral("Ayuda"));
        setMessage(QString::fromStdString(
            shell::helpFileUnreadableMessage(QDir::toNativeSeparators(chmPath).toStdString())));
        return;
    }
    setWindowTitle(m_chm->title().isEmpty() ? QStringLiteral("Ayuda") : m_chm->title());
    m_browser->setChm(m_chm.get());
    if (!m_chm->contentsFile().isEmpty()) {
        if (const auto bytes = m_chm->read(m_chm->contentsFile()))
            buildContents(nullptr, Sitemap::parse(m_chm->decode(*bytes)));
    }
    m_contents->expandAll();
    if (!m_chm->indexFile().isEmpty()) {
        if (const auto bytes = m_chm->read(m_chm->indexFile()))
            buildIndex(Sitemap::parse(m_chm->decode(*bytes)), 0);
    }
}

HelpWindow::~HelpWindow()
{
    // The browser reads from the file while it is torn down; let it go first.
    m_browser->setChm(nullptr);
}

void HelpWindow::buildContents(QTreeWidgetItem* parent, const std::vector<SitemapEntry>& entries)
{
    for (const SitemapEntry& entry : entries) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_contents);
        item->setText(0, entry.name.isEmpty() ? entry.local : entry.name);
        item->setToolTip(0, item->text(0));
        item->setData(0, topicRole, entry.local);
        item->setIcon(
            0, style()->standardIcon(entry.children.empty() ? QStyle::SP_FileIcon : QStyle::SP_DirIcon));
        if (!entry.local.isEmpty()) {
            const QString key = topicKey(entry.local);
            if (!m_itemOfTopic.contains(key))
                m_itemOfTopic.insert(key, item);
            if (m_firstContentsTopic.isEmpty())
                m_firstContentsTopic = entry.local;
        }
        buildContents(item, entry.children);
    }
}

void HelpWindow::buildIndex(const std::vector<SitemapEntry>& entries, int depth)
{
    for (const SitemapEntry& entry : entries) {
        auto* item = new QListWidgetItem(QString(depth * 4, QLatin1Char(' ')) + entry.name, m_index);
        item->setData(topicRole, entry.local);
        item->setData(Qt::UserRole + 1, entry.name);
        buildIndex(entry.children, depth + 1);
    }
}

void HelpWindow::selectIndexEntry(const QString& text)
{
    const QString wanted = text.trimmed();
    if (wanted.isEmpty())
        return;
    // The first keyword starting with the text; failing that, the first containing it.
    QListWidgetItem* found = nullptr;
    for (int pass = 0; pass < 2 && !found; ++pass) {
        for (int i = 0; i < m_index->count(); ++i) {
            const QString keyword = m_index->item(i)->data(Qt::UserRole + 1).toString();
            const bool match = pass == 0 ? keyword.startsWith(wanted, Qt::CaseInsensitive)
                                         : keyword.contains(wanted, Qt::CaseInsensitive);
            if (match) {
                found = m_index->item(i);
                break;
            }
        }
    }
    if (found) {
        m_index->setCurrentItem(found);
        m_index->scrollToItem(found, QAbstractItemView::PositionAtTop);
    }
}

void HelpWindow::openIndexEntry(QListWidgetItem* item)
{
    if (!item)
        return;
    const QString topic = item->data(topicRole).toString();
    if (!topic.isEmpty())
        openTopic(topic);
}

QString HelpWindow::defaultTopic() const
{
    if (!m_chm)
        return QString();
    if (!m_chm->defaultTopic().isEmpty() && m_chm->contains(topicKey(m_chm->defaultTopic())))
        return m_chm->defaultTopic();
    return m_firstContentsTopic;
}

void HelpWindow::showDefaultTopic()
{
    const QString topic = defaultTopic();
    if (!topic.isEmpty())
        openTopic(topic);
}

void HelpWindow::openTopic(const QString& topic)
{
    if (!m_chm)
        return;
    m_browser->followLink(ChmBrowser::topicUrl(topic));
}

void HelpWindow::showContents()
{
    m_tabs->setCurrentWidget(m_contents);
    if (m_chm && m_browser->source().isEmpty())
        showDefaultTopic();
}

void HelpWindow::showIndex(const QString& keyword)
{
    m_tabs->setCurrentIndex(1);
    m_search->setText(keyword);
    selectIndexEntry(keyword);
    if (m_chm && m_browser->source().isEmpty())
        showDefaultTopic();
}

void HelpWindow::showTopic(const QString& topic)
{
    if (!m_chm)
        return;
    if (topicKey(topic).isEmpty()) {
        showDefaultTopic();
        return;
    }
    if (!m_chm->contains(topicKey(topic))) {
        if (m_browser->source().isEmpty())
            showDefaultTopic();
        setMessage(QStringLiteral("El tema «%1» no está en el archivo de ayuda.").arg(topic));
        return;
    }
    openTopic(topic);
}

void HelpWindow::showContext(std::uint32_t context)
{
    if (!m_chm)
        return;
    const std::optional<QString> topic = m_chm->contextTopic(context);
    if (!topic || !m_chm->contains(topicKey(*topic))) {
        if (m_browser->source().isEmpty())
            showDefaultTopic();
        // A file whose topics do not decompress has no context map either.
        if (m_chm->isDamaged())
            setMessage(QString::fromStdString(
                shell::helpFileDamagedMessage(QDir::toNativeSeparators(m_chmPath).toStdString())));
        else
            setMessage(
                QStringLiteral("El archivo de ayuda no tiene ningún tema para el contexto %1.").arg(context));
        return;
    }
    openTopic(*topic);
}

QString HelpWindow::message() const
{
    return m_message->isHidden() ? QString() : m_message->text();
}

void HelpWindow::setMessage(const QString& text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void HelpWindow::syncContents(const QUrl& url)
{
    setMessage(QString());
    QTreeWidgetItem* item = m_itemOfTopic.value(topicKey(ChmBrowser::topicOf(url)));
    if (!item)
        return;
    const QSignalBlocker blocker(m_contents);
    m_contents->setCurrentItem(item);
    m_contents->scrollToItem(item);
}

} // namespace tramazel::help
