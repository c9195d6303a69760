// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in dark style sheet applied to the whole application at start.
#include "DarkStyleSheet.h"

namespace {

// Kept in the program rather than in a resource so the look cannot go missing with a
// resource file. "%1" is the font-family list.
constexpr const char *kStyleSheet = R"QSS(
QWidget {
    background-color: #1a1a1a;
    color: #e0e0e0;
    font-family: %1;
    font-size: 13px;
}

QMainWindow {
    background-color: #141414;
}

QMenuBar {
    background-color: #1e1e1e;
    color: #cccccc;
    border-bottom: 1px solid #333333;
    padding: 2px 4px;
}
QMenuBar::item {
    background: transparent;
    padding: 4px 10px;
    border-radius: 4px;
}
QMenuBar::item:selected {
    background-color: #2a82da;
    color: #ffffff;
}
QMenuBar::item:pressed {
    background-color: #1c6bb5;
}

QMenu {
    background-color: #252525;
    border: 1px solid #444444;
    border-radius: 4px;
    padding: 4px 0;
}
QMenu::item {
    padding: 6px 24px 6px 16px;
    color: #cccccc;
}
QMenu::item:selected {
    background-color: #2a82da;
    color: #ffffff;
}
QMenu::item:disabled {
    color: #555555;
}
QMenu::separator {
    height: 1px;
    background: #3a3a3a;
    margin: 4px 8px;
}

QToolBar {
    background-color: #1e1e1e;
    border-bottom: 1px solid #333333;
    spacing: 4px;
    padding: 4px 8px;
}
QToolBar::separator {
    width: 1px;
    background: #3a3a3a;
    margin: 4px 6px;
}

QStatusBar {
    background-color: #141414;
    color: #888888;
    border-top: 1px solid #2a2a2a;
    font-size: 11px;
}
QStatusBar::item {
    border: none;
}

QPushButton {
    background-color: #2d2d2d;
    color: #e0e0e0;
    border: 1px solid #4a4a4a;
    border-radius: 5px;
    padding: 6px 16px;
    font-weight: 600;
    min-height: 28px;
}
QPushButton:hover {
    background-color: #3a3a3a;
    border-color: #666666;
    color: #ffffff;
}
QPushButton:pressed {
    background-color: #1a1a1a;
    border-color: #2a82da;
}
QPushButton:disabled {
    background-color: #222222;
    color: #555555;
    border-color: #333333;
}

QPushButton#PrimaryButton {
    background-color: #2a82da;
    color: #ffffff;
    border: none;
    border-radius: 8px;
    font-size: 15px;
    font-weight: bold;
    min-height: 52px;
}
QPushButton#PrimaryButton:hover {
    background-color: #1c6bb5;
}
QPushButton#PrimaryButton:pressed {
    background-color: #155a9c;
}

QPushButton#SecondaryButton {
    background-color: #2d2d2d;
    color: #e0e0e0;
    border: 2px solid #555555;
    border-radius: 8px;
    font-size: 15px;
    font-weight: bold;
    min-height: 52px;
}
QPushButton#SecondaryButton:hover {
    background-color: #3a3a3a;
    border-color: #777777;
}
QPushButton#SecondaryButton:pressed {
    background-color: #222222;
}

QFrame#TransportFrame {
    background-color: #252525;
    border: 1px solid #444444;
    border-radius: 8px;
    min-height: 56px;
    max-height: 56px;
    padding: 0;
}

QPushButton#TransportButton,
QPushButton#TransportPlayButton,
QPushButton#TransportPauseButton,
QPushButton#TransportStopButton {
    background-color: #2d2d2d;
    color: #e0e0e0;
    border: none;
    border-radius: 0;
    font-size: 14px;
    font-weight: bold;
    min-width: 48px;
    min-height: 48px;
}
QPushButton#TransportButton:hover,
QPushButton#TransportPlayButton:hover,
QPushButton#TransportPauseButton:hover,
QPushButton#TransportStopButton:hover {
    background-color: #3a3a3a;
}
QPushButton#TransportButton:pressed,
QPushButton#TransportPlayButton:pressed,
QPushButton#TransportPauseButton:pressed,
QPushButton#TransportStopButton:pressed {
    background-color: #1a1a1a;
}
QPushButton#TransportPlayButton {
    border-top-left-radius: 8px;
    border-bottom-left-radius: 8px;
}

QPushButton#TransportRecordButton {
    background-color: #3a1a1a;
    color: #ff5555;
    border: none;
    border-radius: 0;
    font-size: 14px;
    font-weight: bold;
    min-width: 48px;
    min-height: 48px;
}
QPushButton#TransportRecordButton:hover {
    background-color: #551a1a;
    color: #ff3333;
}
QPushButton#TransportRecordButton:pressed {
    background-color: #ff2222;
    color: #ffffff;
}
QPushButton#TransportRecordButton {
    border-top-right-radius: 8px;
    border-bottom-right-radius: 8px;
}

QFrame#TransportSeparator {
    background-color: #444444;
}

QPushButton#RecordButton {
    color: #ff5555;
    border-color: #ff5555;
}
QPushButton#RecordButton:hover {
    background-color: #3a1a1a;
    border-color: #ff3333;
    color: #ff3333;
}
QPushButton#RecordButton:pressed {
    background-color: #ff2222;
    color: #ffffff;
}

QPushButton#BackButton {
    background: transparent;
    border: 1px solid #555555;
    color: #aaaaaa;
    padding: 4px 12px;
    border-radius: 4px;
}
QPushButton#BackButton:hover {
    background-color: #2a2a2a;
    color: #ffffff;
    border-color: #888888;
}

QComboBox {
    background-color: #2d2d2d;
    color: #e0e0e0;
    border: 1px solid #4a4a4a;
    border-radius: 4px;
    padding: 4px 8px;
    min-height: 26px;
    min-width: 100px;
}
QComboBox:hover {
    border-color: #666666;
}
QComboBox:focus {
    border-color: #2a82da;
}
QComboBox::drop-down {
    subcontrol-origin: padding;
    subcontrol-position: top right;
    width: 20px;
    border-left: 1px solid #4a4a4a;
}
QComboBox::down-arrow {
    image: url(:/style/arrow-down.png);
    width: 8px;
    height: 6px;
}
QComboBox QAbstractItemView {
    background-color: #252525;
    border: 1px solid #444444;
    selection-background-color: #2a82da;
    selection-color: #ffffff;
    outline: none;
}

QSlider::groove:horizontal {
    height: 4px;
    background: #333333;
    border-radius: 2px;
}
QSlider::handle:horizontal {
    background: #2a82da;
    border: none;
    width: 14px;
    height: 14px;
    margin: -5px 0;
    border-radius: 7px;
}
QSlider::handle:horizontal:hover {
    background: #4a9fe0;
}
QSlider::sub-page:horizontal {
    background: #2a82da;
    border-radius: 2px;
}
QSlider::groove:vertical {
    width: 4px;
    background: #333333;
    border-radius: 2px;
}
QSlider::handle:vertical {
    background: #2a82da;
    border: none;
    width: 14px;
    height: 14px;
    margin: 0 -5px;
    border-radius: 7px;
}
QSlider::handle:vertical:hover {
    background: #4a9fe0;
}
QSlider::sub-page:vertical {
    background: #2a82da;
}

QProgressBar {
    background-color: #111111;
    border: 1px solid #333333;
    border-radius: 2px;
    text-align: center;
}
QProgressBar::chunk {
    background: qlineargradient(x1: 0, y1: 1, x2: 0, y2: 0,
        stop: 0.00 #00cc44, stop: 0.70 #aaee00, stop: 0.90 #ffaa00, stop: 1.00 #ff2200);
    border-radius: 2px;
}

QLabel {
    background: transparent;
    color: #e0e0e0;
}
QLabel#TitleLabel {
    color: #ffffff;
    font-size: 32px;
    font-weight: bold;
}
QLabel#SubtitleLabel {
    color: #aaaaaa;
    font-size: 15px;
}
QLabel#TimeLabel {
    color: #00f2ff;
    font-size: 16px;
    font-weight: bold;
}
QLabel#MeterTitleLabel {
    color: #888888;
    font-size: 9px;
}
QLabel#MeterChannelLabel {
    color: #aaaaaa;
    font-size: 9px;
}
QLabel#PlaceholderLabel {
    color: #888888;
    background-color: #14141e;
    font-size: 14px;
}

QFrame#BottomControls {
    background-color: #1e1e2e;
    border-top: 1px solid #333355;
}

QWidget#MeterPanel {
    background-color: #141420;
    border-left: 1px solid #2a2a3a;
}

QWidget#WelcomePage,
QWidget#AudioEditorPage,
QWidget#MultiTrackEditorPage {
    background-color: #141414;
}

QScrollBar:vertical {
    background: #1a1a1a;
    width: 10px;
    margin: 0;
    border-radius: 5px;
}
QScrollBar::handle:vertical {
    background: #444444;
    min-height: 30px;
    border-radius: 5px;
}
QScrollBar::handle:vertical:hover {
    background: #666666;
}
QScrollBar::add-line:vertical,
QScrollBar::sub-line:vertical {
    height: 0;
}
QScrollBar:horizontal {
    background: #1a1a1a;
    height: 10px;
    margin: 0;
    border-radius: 5px;
}
QScrollBar::handle:horizontal {
    background: #444444;
    min-width: 30px;
    border-radius: 5px;
}
QScrollBar::handle:horizontal:hover {
    background: #666666;
}
QScrollBar::add-line:horizontal,
QScrollBar::sub-line:horizontal {
    width: 0;
}

QToolTip {
    background-color: #252525;
    color: #e0e0e0;
    border: 1px solid #555555;
    border-radius: 4px;
    padding: 4px 8px;
    font-size: 12px;
}

QDialog,
QMessageBox {
    background-color: #1e1e1e;
}
QDialogButtonBox QPushButton {
    min-width: 80px;
}

QLineEdit {
    background-color: #252525;
    color: #e0e0e0;
    border: 1px solid #4a4a4a;
    border-radius: 4px;
    padding: 4px 8px;
    selection-background-color: #2a82da;
}
QLineEdit:focus {
    border-color: #2a82da;
}
QLineEdit:disabled {
    background-color: #1e1e1e;
    color: #555555;
}

QStackedWidget {
    background-color: #141414;
}

QAbstractSpinBox::up-arrow {
    image: url(:/style/arrow-up.png);
    width: 8px;
    height: 6px;
}
QAbstractSpinBox::down-arrow {
    image: url(:/style/arrow-down.png);
    width: 8px;
    height: 6px;
}

QRadioButton::indicator {
    width: 12px;
    height: 12px;
    border: 1px solid #888888;
    border-radius: 7px;
    background-color: #2d2d2d;
}
QRadioButton::indicator:checked {
    border-color: #2a82da;
    background-color: qradialgradient(cx: 0.5, cy: 0.5, radius: 0.5, fx: 0.5, fy: 0.5,
                                      stop: 0 #2a82da, stop: 0.55 #2a82da, stop: 0.65 #2d2d2d, stop: 1 #2d2d2d);
}
)QSS";

} // namespace

QStringList uiFontFamilies()
{
    return {QStringLiteral("Microsoft YaHei"), QStringLiteral("WenQuanYi Micro Hei"),
            QStringLiteral("Noto Sans CJK SC"), QStringLiteral("sans-serif")};
}

QString darkStyleSheet()
{
    QStringList quoted;
    for (const QString &family : uiFontFamilies())
        quoted << QLatin1Char('"') + family + QLatin1Char('"');
    return QString::fromUtf8(kStyleSheet).arg(quoted.join(QStringLiteral(", ")));
}
