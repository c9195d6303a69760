// SPDX-License-Identifier: GPL-3.0-or-later
// Process-wide holder of the current colour theme and the style sheets it gives the pages.
#include "ui/ThemeManager.h"

namespace {

QString gradientPage(const char *objectName)
{
    return QStringLiteral("QWidget#%1 {  background: qlineargradient(x1:0, y1:0, x2:1, y2:1,    "
                          "stop:0 #0d0d1a, stop:0.5 #141428, stop:1 #0d0d1a);}")
        .arg(QLatin1String(objectName));
}

QString toolButton(bool active, int sidePadding)
{
    const QString look = active ? QStringLiteral("background: rgba(42,130,218,30); color: #ffffff; border: 1px solid #2a82da; ")
                                : QStringLiteral("background: #252538; color: #aaaacc; border: 1px solid #3a3a50; ");
    return look + QStringLiteral("border-radius: 4px; font-size: 12px; padding: 2px %1px;").arg(sidePadding);
}

// A mixer strip's toggle; `checked` is its look when on.
QString stripToggle(const char *checked)
{
    return QStringLiteral("QPushButton { background: #333340; color: #999; border: 1px solid #555; border-radius: 3px; "
                          "font-weight: bold; font-size: 10px; }QPushButton:checked { %1 }"
                          "QPushButton:hover { border-color: #2a82da; }")
        .arg(QLatin1String(checked));
}

} // namespace

ThemeManager *ThemeManager::instance()
{
    static ThemeManager manager;
    return &manager;
}

QString ThemeManager::styleSheet(EditorPart part) const
{
    const bool dark = theme == 1;
    const auto pick = [dark](const char *darkValue, const char *lightValue) {
        return QString::fromLatin1(dark ? darkValue : lightValue);
    };
    const QString line = pick("rgba(42,130,218,40)", "#d0d0d0");
    switch (part) {
    case EditorPart::Page:
        return QStringLiteral("QWidget#AudioEditorPage { background-color: %1; }").arg(pick("#0d0d1a", "#f0f0f0"));
    case EditorPart::Toolbar:
        return QStringLiteral("QToolBar { background-color: %1; border-bottom: 1px solid %2; spacing: 4px; "
                              "padding: 4px 8px; }QToolBar::separator { width: 1px; background: %2; margin: 4px 6px; }")
            .arg(pick("#1a1a28", "#e8e8e8"), line);
    case EditorPart::ToolbarLabel:
        return QStringLiteral("color: #6a6a8a; font-size: 12px; background: transparent;");
    case EditorPart::ViewModeCombo:
        return QStringLiteral(
            "QComboBox { background-color: #25253a; color: #c0c0d0; border: 1px solid #3a3a50; border-radius: 4px; "
            "padding: 2px 8px; font-size: 12px; }QComboBox:hover { border-color: #2a82da; }QComboBox::drop-down { "
            "border: none; width: 16px; }QComboBox::down-arrow { image: url(:/style/arrow-down-small.png); width: 6px; "
            "height: 5px; }QComboBox "
            "QAbstractItemView { background-color: #25253a; border: 1px solid #3a3a50; selection-background-color: "
            "#2a82da; selection-color: #ffffff; outline: none; }");
    case EditorPart::ActiveToolButton:
        return toolButton(true, 10);
    case EditorPart::InactiveToolButton:
        return toolButton(false, 10);
    case EditorPart::EraseStrengthSlider:
        return QStringLiteral(
            "QSlider::groove:horizontal { background: #2a2a3a; height: 4px; border-radius: 2px; }QSlider::handle:"
            "horizontal { background: #00f2ff; width: 12px; height: 12px; margin: -4px 0; border-radius: 6px; }"
            "QSlider::sub-page:horizontal { background: qlineargradient(x1:0,y1:0,x2:1,y2:0, stop:0 #2a82da, "
            "stop:1 #00f2ff); border-radius: 2px; }");
    case EditorPart::EraseStrengthLabel:
        return QStringLiteral("color: #00f2ff; font-size: 11px; background: transparent;");
    case EditorPart::EffectButton:
        return QStringLiteral("background: #252538; color: #aaaacc; border: 1px solid #3a3a50; border-radius: 4px; "
                              "font-size: 11px; padding: 2px 8px;");
    case EditorPart::CastIdleButton:
        return QStringLiteral(
            "background: rgba(42,130,218,15); color: #6ab0ff; border: 1px solid rgba(42,130,218,40); "
            "border-radius: 4px; font-size: 12px; padding: 2px 10px;");
    case EditorPart::CastActiveButton:
        return QStringLiteral(
            "background: rgba(42,130,218,40); color: #ffffff; border: 1px solid #2a82da; border-radius: 4px; "
            "font-size: 12px; padding: 2px 10px;");
    case EditorPart::ViewStack:
        return QStringLiteral("QStackedWidget { background-color: %1; }").arg(pick("#0d0d1a", "#f0f0f0"));
    case EditorPart::MeterPanel:
        return QStringLiteral(
            "QWidget#MeterPanel { background-color: #141420; border-left: 1px solid rgba(42,130,218,40); }");
    case EditorPart::MeterBar:
        return QStringLiteral(
            "QProgressBar { background-color: #111111; border: 1px solid #333333; border-radius: 2px; margin: 0px; "
            "padding: 0px; }QProgressBar::chunk { margin: 0px; border-radius: 2px; }");
    case EditorPart::TransportFrame:
        return QStringLiteral("QFrame#TransportFrame { background-color: #1a1a28; border-top: 1px solid "
                              "rgba(42,130,218,40); border-radius: 8px; }");
    case EditorPart::TransportFirstButton:
        return QStringLiteral("border-radius: 6px 0 0 6px; border-right: none; padding: 0; min-height: 0;");
    case EditorPart::TransportLastButton:
        return QStringLiteral("border-radius: 0 6px 6px 0; padding: 0; min-height: 0;");
    case EditorPart::RecordingButton:
        return QStringLiteral("background-color: #ff0055; color: white;");
    case EditorPart::BottomControls:
        return QStringLiteral("QFrame#BottomControls { background-color: %1; border-top: 1px solid %2; }")
            .arg(pick("#1c1c28", "#e0e0e0"), line);
    case EditorPart::StatusBar:
        return QStringLiteral("QStatusBar { background-color: %1; color: %2; border-top: 1px solid %3; "
                              "font-size: 11px; }QStatusBar::item { border: none; }")
            .arg(pick("#0d0d1a", "#f0f0f0"), pick("#6a6a8a", "#888888"), line);
    }
    return {};
}

QString ThemeManager::styleSheet(MultitrackPart part) const
{
    switch (part) {
    case MultitrackPart::Page:
        return gradientPage("MultiTrackEditorPage");
    case MultitrackPart::MixerPage:
        // The second rule undoes the application's roomy button padding, which would leave the
        // strips' small buttons no room for their text.
        return gradientPage("MixerPage") + QStringLiteral("QWidget#MixerPage QPushButton { padding: 0; min-height: 0; }");
    case MultitrackPart::TimelineScrollBar:
        return QStringLiteral(
            "QScrollBar:horizontal { height: 10px; background: #1a1a2a; border-radius: 5px; }"
            "QScrollBar::handle:horizontal { background: #444; min-width: 30px; border-radius: 5px; }"
            "QScrollBar::handle:horizontal:hover { background: #666; }"
            "QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; }");
    case MultitrackPart::MixerScrollArea:
        return QStringLiteral(
            "QScrollArea { background-color: #1c1c28; border: none; }QScrollBar:horizontal { background: #1a1a28; "
            "height: 10px; }QScrollBar::handle:horizontal { background: #3a3a50; border-radius: 5px; min-width: 30px; }"
            "QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; }");
    case MultitrackPart::TransportFrame:
        return QStringLiteral("QFrame#TransportFrame { background-color: #1a1a28; border-top: 1px solid "
                              "rgba(42,130,218,40); border-radius: 8px; padding: 8px 0; }");
    case MultitrackPart::ActiveSmallToolButton:
        return toolButton(true, 8);
    case MultitrackPart::InactiveSmallToolButton:
        return toolButton(false, 8);
    case MultitrackPart::MuteButton:
        return stripToggle("background: #d33; color: #fff; border-color: #f55;");
    case MultitrackPart::SoloButton:
        return stripToggle("background: #db0; color: #000; border-color: #fd4;");
    }
    return {};
}
