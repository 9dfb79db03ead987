#include "cube/ui/commondialoghelper.h"

#include "core/dialogs.h"
#include "cube/ui/rgbcolor.h"

#include <QGuiApplication>
#include <QPalette>

namespace tessal::cube {

CommonDialogHelper::CommonDialogHelper(Dialogs &dialogs)
    : m_dialogs(dialogs)
{}

QColor CommonDialogHelper::systemColour(int index)
{
    // Qt has no desktop, caption or border colours of its own: each takes the palette role that
    // paints the same part of a Qt window.
    struct Role
    {
        QPalette::ColorGroup group;
        QPalette::ColorRole role;
    };
    static constexpr Role roles[CustomColourCount] = {
        {QPalette::Active, QPalette::Midlight},        // scroll bar
        {QPalette::Active, QPalette::Dark},            // desktop
        {QPalette::Active, QPalette::Highlight},       // active caption
        {QPalette::Inactive, QPalette::Highlight},     // inactive caption
        {QPalette::Active, QPalette::Window},          // menu
        {QPalette::Active, QPalette::Base},            // window
        {QPalette::Active, QPalette::Shadow},          // window frame
        {QPalette::Active, QPalette::WindowText},      // menu text
        {QPalette::Active, QPalette::Text},            // window text
        {QPalette::Active, QPalette::HighlightedText}, // caption text
        {QPalette::Active, QPalette::Light},           // active border
        {QPalette::Inactive, QPalette::Light},         // inactive border
        {QPalette::Active, QPalette::Mid},             // application workspace
        {QPalette::Active, QPalette::Highlight},       // highlight
        {QPalette::Active, QPalette::HighlightedText}, // highlighted text
        {QPalette::Active, QPalette::Button},          // button face
    };
    if (index < 0 || index >= CustomColourCount)
        return {};
    const QPalette palette = QGuiApplication::palette();
    return palette.color(roles[index].group, roles[index].role);
}

bool CommonDialogHelper::VBChooseColor(qint32 &color, qint32 initialColor, const QString &title)
{
    if (m_customColours.isEmpty()) {
        for (int i = 0; i < CustomColourCount; ++i)
            m_customColours << systemColour(i);
    }
    const std::optional<QColor> chosen = m_dialogs.colour(
        colorFromRgbLong(static_cast<quint32>(initialColor)), title, &m_customColours);
    // the dialog gives back as many as it was given; a shorter answer keeps the rest unset
    m_customColours.resize(CustomColourCount);
    m_extendedError = 0;
    m_apiReturn = chosen ? 1 : 0;
    if (!chosen) {
        color = -1;
        return false;
    }
    color = static_cast<qint32>(rgbLongFromColor(*chosen));
    return true;
}

} // namespace tessal::cube
