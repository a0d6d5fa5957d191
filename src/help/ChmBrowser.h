// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTextBrowser>
#include <QUrl>

namespace tramazel::help {

class ChmFile;

/// The topic pane: shows pages of a compiled help file, addressed as
/// "chm:/path/page.htm#place", with their pictures and stylesheets read from the
/// file. Links to other sites open in the desktop's browser; the page stays.
class ChmBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit ChmBrowser(QWidget* parent = nullptr);

    /// The file pages are read from; null shows nothing. Not owned.
    void setChm(const ChmFile* chm);

    /// The address of internal topic `topic` ("dir/page.htm#place").
    static QUrl topicUrl(const QString& topic);
    /// The internal topic of `url` without "#place"; empty when `url` is not one.
    static QString topicOf(const QUrl& url);

    /// Opens `url` the way a click on a link does.
    void followLink(const QUrl& url);

    QVariant loadResource(int type, const QUrl& name) override;

signals:
    /// A link to outside the help file was handed to the desktop.
    void externalLinkOpened(const QUrl& url);
    /// A link named a topic the help file lacks.
    void missingTopic(const QString& topic);

private:
    QUrl absolute(const QUrl& name) const;
    QString pageText(const QByteArray& bytes) const;

    const ChmFile* m_chm = nullptr;
};

} // namespace tramazel::help
