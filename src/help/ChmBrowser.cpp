// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChmBrowser.h"

#include "ChmFile.h"

#include <QDesktopServices>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextDocument>

namespace tramazel::help {

namespace {

const QString chmScheme = QStringLiteral("chm");

// Addresses other help viewers use for a topic of a compiled file:
// "ms-its:file.chm::/topic.htm" and "mk:@MSITStore:file.chm::/topic.htm".
QString topicInsideItsAddress(const QString& address)
{
    const qsizetype separator = address.indexOf(QLatin1String("::"));
    if (separator < 0)
        return QString();
    QString topic = address.mid(separator + 2);
    while (topic.startsWith(QLatin1Char('/')))
        topic.remove(0, 1);
    return topic;
}

} // namespace

ChmBrowser::ChmBrowser(QWidget* parent)
    : QTextBrowser(parent)
{
    // Left to itself QTextBrowser would load external links in place of the page.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &ChmBrowser::followLink);
}

void ChmBrowser::setChm(const ChmFile* chm)
{
    m_chm = chm;
    clearHistory();
    clear();
}

QUrl ChmBrowser::topicUrl(const QString& topic)
{
    QString path = topic;
    QString fragment;
    if (const qsizetype hash = path.indexOf(QLatin1Char('#')); hash >= 0) {
        fragment = path.mid(hash + 1);
        path.truncate(hash);
    }
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    QUrl url;
    url.setScheme(chmScheme);
    url.setPath(QLatin1Char('/') + path);
    if (!fragment.isEmpty())
        url.setFragment(fragment);
    return url;
}

QString ChmBrowser::topicOf(const QUrl& url)
{
    if (url.scheme() != chmScheme)
        return QString();
    QString path = url.path();
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    return path;
}

QUrl ChmBrowser::absolute(const QUrl& name) const
{
    if (!name.isRelative())
        return name;
    QUrl base = source();
    if (base.isEmpty() || base.scheme() != chmScheme)
        base = document()->baseUrl();
    if (base.isEmpty() || base.scheme() != chmScheme)
        base = topicUrl(QString());
    return base.resolved(name);
}

void ChmBrowser::followLink(const QUrl& link)
{
    if (link.isRelative() && link.path().isEmpty() && link.hasFragment()) {
        scrollToAnchor(link.fragment());
        return;
    }
    QUrl url = absolute(link);
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("ms-its") || scheme == QLatin1String("mk")
        || scheme == QLatin1String("its")) {
        const QString topic = topicInsideItsAddress(link.toString());
        if (topic.isEmpty())
            return;
        url = topicUrl(topic);
    }
    if (url.scheme() != chmScheme) {
        QDesktopServices::openUrl(url);
        emit externalLinkOpened(url);
        return;
    }
    const QString topic = topicOf(url);
    if (!m_chm || !m_chm->contains(topic)) {
        emit missingTopic(topic);
        return;
    }
    setSource(url);
}

QString ChmBrowser::pageText(const QByteArray& bytes) const
{
    // A page that names its charset is read in it; the others are in the help
    // file's code page, not in the UTF-8 Qt would assume.
    static const QRegularExpression charsetPattern(QStringLiteral("charset\\s*=\\s*[\"']?([A-Za-z0-9_.:-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(bytes.left(2048));
    QString text;
    const QRegularExpressionMatch match = charsetPattern.match(head);
    bool decoded = false;
    if (match.hasMatch()) {
        const QString charset = match.captured(1).toLower();
        if (charset == QLatin1String("windows-1252") || charset == QLatin1String("iso-8859-1")
            || charset == QLatin1String("cp1252")) {
            text = decodeCodePage(bytes, 1252);
            decoded = true;
        } else {
            QStringDecoder decoder(charset.toLatin1().constData());
            if (decoder.isValid()) {
                text = decoder.decode(bytes);
                decoded = !decoder.hasError();
            }
        }
    }
    if (!decoded)
        text = m_chm ? m_chm->decode(bytes) : QString::fromLatin1(bytes);
    // The document ignores a stylesheet link that does not say it is CSS.
    static const QRegularExpression linkPattern(
        QStringLiteral("<link\\b[^>]*>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression stylesheetPattern(
        QStringLiteral("\\brel\\s*=\\s*[\"']?stylesheet"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression typePattern(
        QStringLiteral("\\btype\\s*="), QRegularExpression::CaseInsensitiveOption);
    QString fixed;
    qsizetype last = 0;
    for (auto it = linkPattern.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch link = it.next();
        const QString tag = link.captured(0);
        fixed += QStringView(text).mid(last, link.capturedStart() - last);
        if (tag.contains(stylesheetPattern) && !tag.contains(typePattern))
            fixed += tag.left(5) + QLatin1String(" type=\"text/css\"") + tag.mid(5);
        else
            fixed += tag;
        last = link.capturedEnd();
    }
    fixed += QStringView(text).mid(last);
    return fixed;
}

QVariant ChmBrowser::loadResource(int type, const QUrl& name)
{
    const QUrl url = absolute(name);
    if (url.scheme() != chmScheme || !m_chm)
        return QVariant(); // nothing is fetched from outside the help file
    const std::optional<QByteArray> bytes = m_chm->read(topicOf(url));
    if (!bytes)
        return QVariant();
    switch (type) {
    case QTextDocument::HtmlResource:
        return pageText(*bytes);
    case QTextDocument::StyleSheetResource:
        return m_chm->decode(*bytes);
    default:
        return *bytes;
    }
}

} // namespace tramazel::help
