// A directory chooser: the path from "/" down to the current directory,
// then the current directory's subdirectories. Activating an entry (double
// click or Enter) makes it the current directory.
#pragma once

#include <QTreeWidget>

namespace plover {

class TDirectoryListBox final : public QTreeWidget {
    Q_OBJECT
public:
    explicit TDirectoryListBox(QWidget* parent = nullptr);

    // Absolute, without a trailing "/" (except for "/").
    QString Directory() const { return m_directory; }
    // Changes to an existing directory; returns false (and changes nothing)
    // for one that does not exist.
    bool SetDirectory(const QString& path);
    // Subdirectories whose names start with a dot are listed only when set.
    bool ShowHidden() const { return m_showHidden; }
    void SetShowHidden(bool show);

signals:
    void DirectoryChanged(const QString& directory);

private:
    void rebuild();

    QString m_directory;
    bool m_showHidden = false;
};

} // namespace plover
