// The session window's status bar panels: what the session does, then the
// running transfer's amount, speed, elapsed time and time left. Each figure
// panel is as wide as the longest text it will hold in the transfer at
// hand, and wider when a text needs it; the status text takes the rest and
// ends in an ellipsis when it is longer. Screen readers read each panel's text, and its role
// as the description.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;

namespace plover {

class TStatusPanels final : public QWidget {
    Q_OBJECT
public:
    explicit TStatusPanels(QWidget* parent = nullptr);

    static constexpr int Count = 5;
    // The text as set, however much of it the panel has room for.
    QString Text(int panel) const;
    void SetText(int panel, const QString& text);
    QLabel* Panel(int panel) const { return m_panels[panel]; }
    // A figure panel is at least as wide as this text (a transfer's amount
    // once its size is known); longer texts still widen it.
    void SetWidest(int panel, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showText(int panel);

    QLabel* m_panels[Count] = {};
    QString m_texts[Count];
};

} // namespace plover
