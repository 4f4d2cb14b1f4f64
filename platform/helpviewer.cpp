#include "platform/helpviewer.h"

#include "platform/dialogs.h"
#include "platform/text.h"

#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace plover {

THelpViewer::THelpViewer(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Plover Help"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Browser = new QTextBrowser;
    Browser->setObjectName(QStringLiteral("Browser"));
    Browser->setAccessibleName(QStringLiteral("Help text"));
    // Links to web pages go to the desktop's browser; the file's own
    // anchors stay in this window.
    Browser->setOpenExternalLinks(true);
    layout->addWidget(Browser);
    resize(560, 520);
}

void THelpViewer::ShowTopic(const QString& helpFile, const QString& topic)
{
    QUrl url = QUrl::fromLocalFile(QFileInfo(helpFile).absoluteFilePath());
    url.setFragment(topic);
    // The file's name does not say HTML, so the kind is given explicitly.
    Browser->setSource(url, QTextDocument::HtmlResource);
    Browser->scrollToAnchor(topic);
}

THelpViewer* ShowHelp(const std::string& helpFile, const std::string& topic)
{
    static QPointer<THelpViewer> viewer;
    if (!QFileInfo(ToQ(helpFile)).isFile()) {
        Dialogs::ShowMessage(QStringLiteral("Cannot find the help file ") + ToQ(helpFile));
        return nullptr;
    }
    if (!viewer)
        viewer = new THelpViewer;
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
    viewer->ShowTopic(ToQ(helpFile), ToQ(topic));
    return viewer;
}

} // namespace plover
