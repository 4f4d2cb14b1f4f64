#include "session/statuspanels.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace plover {

namespace {

struct TPanelRole {
    const char* Description;
    // The longest text the panel usually shows (about 9 GB and 99 minutes).
    const char* Widest;
};

// The widest texts before a transfer tells better: speeds up to 10,000 k/s
// (then MB/s, shorter) and times under ten minutes.
const TPanelRole Roles[TStatusPanels::Count] = {
    {"Status", nullptr},
    {"Amount transferred", "88888k / 88888k"},
    {"Speed", "8888.8 k/s"},
    {"Time elapsed", "Time Elapsed: 8:88"},
    {"Time left", "Time Left: 8:88"},
};

constexpr int PanelHeight = 18;

} // namespace

TStatusPanels::TStatusPanels(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("StatusPanels"));
    // One pixel smaller than the window's text, as in the command column:
    // a status and four figures share the width of the default window.
    QFont small = font();
    small.setPixelSize(10);
    setFont(small);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    for (int i = 0; i < Count; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("Panel%1").arg(i));
        label->setFrameShape(QFrame::StyledPanel);
        label->setMargin(1);
        label->setFixedHeight(PanelHeight);
        // The name a screen reader gives is the text itself; what the panel
        // is for comes with it.
        label->setAccessibleDescription(QString::fromLatin1(Roles[i].Description));
        m_panels[i] = label;
        if (Roles[i].Widest) {
            SetWidest(i, QString::fromLatin1(Roles[i].Widest));
            label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
            row->addWidget(label);
        } else {
            // The status text gives way to the figures.
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
            row->addWidget(label, 1);
        }
    }
    m_panels[0]->installEventFilter(this);
    // Narrower than the panels, the window cuts them at its right edge
    // rather than being held wider than the user makes it.
    setMinimumSize(1, PanelHeight);
}

void TStatusPanels::SetWidest(int panel, const QString& text)
{
    QLabel* label = m_panels[panel];
    const int frame = 2 * (label->frameWidth() + label->margin()) + 2;
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + frame);
}

QString TStatusPanels::Text(int panel) const
{
    return m_texts[panel];
}

void TStatusPanels::SetText(int panel, const QString& text)
{
    m_texts[panel] = text;
    showText(panel);
}

void TStatusPanels::showText(int panel)
{
    QLabel* label = m_panels[panel];
    const QString& text = m_texts[panel];
    const int room = label->contentsRect().width() - 2 * label->margin() - 2;
    const QString shown =
        label->sizePolicy().horizontalPolicy() == QSizePolicy::Ignored && room > 0
            ? label->fontMetrics().elidedText(text, Qt::ElideRight, room)
            : text;
    label->setText(shown);
    // A shortened text stays whole for the pointer and for screen readers.
    const bool cut = shown != text;
    label->setToolTip(cut ? text : QString());
    label->setAccessibleName(cut ? text : QString());
}

bool TStatusPanels::eventFilter(QObject* watched, QEvent* event)
{
    // The status panel's room changes with the window and with the figures'
    // widths.
    if (watched == m_panels[0] && event->type() == QEvent::Resize)
        showText(0);
    return false;
}

} // namespace plover
