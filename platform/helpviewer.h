// Plover's help window: the HTML help file shown in a text browser, opened
// at a named anchor. One window serves the whole program.
#pragma once

#include <QWidget>
#include <string>

class QTextBrowser;

namespace plover {

class THelpViewer final : public QWidget {
    Q_OBJECT
public:
    explicit THelpViewer(QWidget* parent = nullptr);

    // Loads helpFile (HTML) and scrolls to the anchor named topic.
    void ShowTopic(const QString& helpFile, const QString& topic);

    QTextBrowser* Browser;
};

// Shows helpFile at topic in the program's help window, creating it on
// first use; a missing file is reported in a message box and gives nullptr.
THelpViewer* ShowHelp(const std::string& helpFile, const std::string& topic);

} // namespace plover
