#pragma once

#include <QColor>
#include <QList>
#include <QString>

namespace tessal {
class Dialogs;
}

namespace tessal::cube {

// The common dialogs as the analysis window's forms ask for them, in RGB longs. It keeps the
// colour dialog's sixteen custom colours for as long as it lives: they start as the desktop's
// colours and come back from each dialog as the operator left them.
class CommonDialogHelper
{
public:
    static constexpr int CustomColourCount = 16;

    explicit CommonDialogHelper(Dialogs &dialogs);

    // Shows the colour dialog starting at `initialColor` (an RGB long). True with the chosen
    // colour in `color` on OK; false with -1 in `color` when cancelled.
    bool VBChooseColor(qint32 &color, qint32 initialColor = 0, const QString &title = {});

    const QList<QColor> &customColours() const { return m_customColours; }

    // What the system dialog reported about the last call. Qt's colour dialog cannot fail, so
    // ExtendedError is always 0; APIReturn is 1 when the last dialog was accepted, 0 otherwise.
    int ExtendedError() const { return m_extendedError; }
    int APIReturn() const { return m_apiReturn; }

    // The old system colours 0 to 15 (scroll bar, desktop, active caption, inactive caption,
    // menu, window, window frame, menu text, window text, caption text, active border, inactive
    // border, application workspace, highlight, highlighted text, button face) as the
    // application palette has them.
    static QColor systemColour(int index);

private:
    Dialogs &m_dialogs;
    QList<QColor> m_customColours; // empty until the first dialog
    int m_extendedError = 0;
    int m_apiReturn = 0;
};

} // namespace tessal::cube
