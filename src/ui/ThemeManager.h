// SPDX-License-Identifier: GPL-3.0-or-later
// Process-wide holder of the current colour theme and the style sheets it gives the pages.
#pragma once

#include <QObject>
#include <QString>

// GUI thread only. Theme 1 is dark; nothing switches themes yet.
class ThemeManager : public QObject
{
    Q_OBJECT

public:
    // The styled parts of the single-track editor page.
    enum class EditorPart {
        Page,
        Toolbar,
        ToolbarLabel,
        ViewModeCombo,
        ActiveToolButton,
        InactiveToolButton,
        EraseStrengthSlider,
        EraseStrengthLabel,
        EffectButton,
        CastIdleButton,
        CastActiveButton,
        ViewStack,
        MeterPanel,
        MeterBar,
        TransportFrame,
        TransportFirstButton,
        TransportLastButton,
        RecordingButton,
        BottomControls,
        StatusBar,
    };

    // Parts of the multitrack page and the mixer; their toolbar and tool buttons are the
    // editor page's.
    enum class MultitrackPart {
        Page,
        MixerPage,
        TimelineScrollBar,
        MixerScrollArea,
        TransportFrame,
        ActiveSmallToolButton,
        InactiveSmallToolButton,
        MuteButton,
        SoloButton,
    };

    static ThemeManager *instance();

    // The style sheet of `part` under the current theme.
    QString styleSheet(EditorPart part) const;
    QString styleSheet(MultitrackPart part) const;

    int theme = 1;

signals:
    void themeChanged();

private:
    ThemeManager() = default;
};
