// SPDX-License-Identifier: GPL-3.0-or-later
// The start page: buttons for a new single-track or multitrack project and for opening a
// project, and seven tutorial cards that open their numbered steps in a dialog.
#include "WelcomePage.h"

#include <QDialog>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStringList>
#include <QVBoxLayout>

namespace {

const char *const kPrimaryButtonStyle =
    "QPushButton {  background-color: #2a82da;  color: #ffffff;  border: none;  border-radius: 8px;"
    "  font-size: 15px;  font-weight: bold;}"
    "QPushButton:hover { background-color: #1c6bb5; }"
    "QPushButton:pressed { background-color: #155a9c; }";

const char *const kOutlineButtonStyle =
    "QPushButton {  background-color: transparent;  color: #e0e0e0;  border: 1px solid #2a82da;"
    "  border-radius: 8px;  font-size: 15px;  font-weight: bold;}"
    "QPushButton:hover {  background-color: rgba(42, 130, 218, 30);  color: #ffffff;}"
    "QPushButton:pressed {  background-color: rgba(42, 130, 218, 60);}";

QPushButton *makeStartButton(const QString &text, const char *style, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setCursor(Qt::PointingHandCursor);
    button->setFixedSize(200, 44);
    button->setStyleSheet(QString::fromUtf8(style));
    return button;
}

QFrame *makeTutorialCard(const QString &icon, const QString &title, const QString &summary,
                         const QStringList &steps, WelcomePage *page, QWidget *parent)
{
    auto *card = new QFrame(parent);
    card->setObjectName(QStringLiteral("TutorialCard"));
    card->setCursor(Qt::PointingHandCursor);
    card->setProperty("tutorialTitle", title);
    card->setProperty("tutorialSteps", steps);
    card->installEventFilter(page);
    card->setStyleSheet(QStringLiteral(
        "QFrame#TutorialCard {  background-color: rgba(255,255,255,0.04);  border: 1px solid rgba(255,255,255,0.08);"
        "  border-radius: 10px;  padding: 16px;}"
        "QFrame#TutorialCard:hover {  background-color: rgba(42,130,218,0.10);  border: 1px solid rgba(42,130,218,0.30);}"));

    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);

    auto *iconLabel = new QLabel(icon, card);
    iconLabel->setStyleSheet(QStringLiteral("color: #2a82da; font-size: 16px; background: transparent; border: none;"));
    layout->addWidget(iconLabel);

    auto *titleLabel = new QLabel(title, card);
    titleLabel->setStyleSheet(QStringLiteral(
        "color: #e0e0e0; font-size: 14px; font-weight: bold; background: transparent; border: none;margin-top: 2px;"));
    layout->addWidget(titleLabel);

    auto *summaryLabel = new QLabel(summary, card);
    summaryLabel->setWordWrap(true);
    summaryLabel->setStyleSheet(QStringLiteral(
        "color: #6a6a8a; font-size: 12px; background: transparent; border: none;margin-bottom: 4px;"));
    layout->addWidget(summaryLabel);
    return card;
}

QLabel *makeSectionLabel(const QString &text, const QString &extraRule, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("QLabel {  color: #6a6a8a;  font-size: 11px;  font-weight: bold;"
                                        "  letter-spacing: 2px;  background: transparent;  border: none;%1}")
                             .arg(extraRule));
    return label;
}

} // namespace

WelcomePage::WelcomePage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("WelcomePage"));
    // A plain QWidget subclass paints no style-sheet background without this.
    setAttribute(Qt::WA_StyledBackground);
    setupUi();
    setupConnections();
}

void WelcomePage::setupUi()
{
    setStyleSheet(QStringLiteral("QWidget#WelcomePage {  background: qlineargradient(x1:0, y1:0, x2:1, y2:1,"
                                 "    stop:0 #0d0d1a, stop:0.5 #141428, stop:1 #0d0d1a);}"));

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto *accentBar = new QFrame(this);
    accentBar->setFixedHeight(3);
    accentBar->setStyleSheet(QStringLiteral("QFrame { background: qlineargradient(x1:0, y1:0, x2:1, y2:0,"
                                            "  stop:0 #2a82da, stop:0.5 #00f2ff, stop:1 #2a82da); }"));
    root->addWidget(accentBar);

    auto *content = new QWidget(this);
    content->setStyleSheet(QStringLiteral("background: transparent;"));
    auto *contentLayout = new QHBoxLayout(content);
    contentLayout->setContentsMargins(60, 48, 60, 48);
    contentLayout->setSpacing(60);

    auto *left = new QWidget(content);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);

    titleLabel = new QLabel(tr("ZentriqStudio"), left);
    titleLabel->setStyleSheet(QStringLiteral("QLabel {  color: #ffffff;  font-size: 36px;  font-weight: bold;"
                                             "  background: transparent;  border: none;}"));
    leftLayout->addWidget(titleLabel);
    leftLayout->addSpacing(32);
    leftLayout->addWidget(makeSectionLabel(tr("开 始"), QStringLiteral("  margin-bottom: 12px;"), left));
    leftLayout->addSpacing(12);

    newSingleButton = makeStartButton(tr("＋ 单轨工程"), kPrimaryButtonStyle, left);
    newMultiButton = makeStartButton(tr("＋ 多轨工程"), kPrimaryButtonStyle, left);
    importButton = makeStartButton(tr("导入工程"), kOutlineButtonStyle, left);
    leftLayout->addWidget(newSingleButton);
    leftLayout->addSpacing(10);
    leftLayout->addWidget(newMultiButton);
    leftLayout->addSpacing(10);
    leftLayout->addWidget(importButton);
    leftLayout->addStretch();
    contentLayout->addWidget(left, 0, Qt::AlignTop);

    // The cards scroll: stacked, they are taller than a laptop screen, and the page's
    // minimum height would push the window past the bottom of the screen.
    auto *cardScroll = new QScrollArea(content);
    cardScroll->setWidgetResizable(true);
    cardScroll->setFrameShape(QFrame::NoFrame);
    cardScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *right = new QWidget;
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(16);
    rightLayout->addWidget(makeSectionLabel(tr("教程"), QString(), right));

    auto *cardBox = new QWidget(right);
    auto *cardLayout = new QVBoxLayout(cardBox);
    cardLayout->setContentsMargins(0, 0, 0, 0);
    cardLayout->setSpacing(10);

    const auto addCard = [&](const QString &title, const QString &summary, const QStringList &steps) {
        cardLayout->addWidget(makeTutorialCard(QString(), title, summary, steps, this, cardBox));
    };
    addCard(tr("快捷键指南"), tr("常用键盘快捷键操作汇总"),
            {tr("Ctrl+N — 创建新工程"), tr("Ctrl+Shift+N — 创建多轨工程"), tr("Ctrl+I — 导入音频文件"),
             tr("Space — 播放/暂停"), tr("Ctrl+R — 开始/停止录音"), tr("Ctrl+E — 导出音频"),
             tr("Ctrl+Z — 撤销，Ctrl+Y / Ctrl+Shift+Z — 重做"), tr("Ctrl+A — 全选，Ctrl+C/V — 复制/粘贴"),
             tr("Delete — 删除选中区域"), QString(), tr("── 钢琴卷帘 ──"),
             tr("Alt+点击空白 — 创建音符，Alt+点击音符 — 拖拷贝"), tr("Ctrl+C / Ctrl+V — 复制/粘贴音符"),
             tr("Ctrl+D — 向右复制选中音符"), tr("Ctrl+A — 全选音符，Delete — 删除音符"),
             tr("Ctrl+Z / Ctrl+Y — 撤销/重做"), tr("↑↓ — 移动音高（Ctrl+↑↓ 移动一个八度）"),
             tr("G / H — 缩小/放大横向缩放")});
    addCard(tr("录制你的第一条音频"), tr("学习如何开始录制、编辑和导出音频文件"),
            {tr("点击工具栏“录音”按钮，开始麦克风录音"), tr("录制完成后点击“停止”，音频将显示在波形图中"),
             tr("拖动鼠标选择波形区域，可进行裁剪、复制、粘贴操作"), tr("点击“导出”按钮，选择WAV或MP3格式保存文件")});
    addCard(tr("多轨混音入门"), tr("掌握多轨音频编辑、剪辑操作和混音导出"),
            {tr("在欢迎页点击“+多轨工程”创建多轨项目"), tr("点击“+添加轨道”增加音频轨道，支持单声道和立体声"),
             tr("拖劥音频片段到不同轨道，调整时间位置"), tr("使用混音器调整每轨音量、平衡和效果，导出混合音频")});
    addCard(tr("MIDI 音乐制作"), tr("导入MIDI文件，使用钢琴卷帘和SF2采样器创作音乐"),
            {tr("在多轨编辑器中添加MIDI轨道，右键点击创建MIDI片段"), tr("双击MIDI片段打开钢琴卷帘，用鼠标绘制音符"),
             tr("导入SF2音色文件，为MIDI轨道分配乐器音色"), tr("设置BPM和拍号，使用全局播放预览效果")});
    addCard(tr("音频效果处理"), tr("增益调整、降噪、中置声道提取等音频效果"),
            {tr("录制或导入音频后，选择波形图中的音频片段"), tr("点击“增益”按钮调整音量，使用淡入淡出效果"),
             tr("点击“降噪”按钮采样噪声谱并减少背景噪声"), tr("立体声文件可使用“中置声道提取”分离人声和伴奏")});
    addCard(tr("频谱分析"), tr("使用频谱分析器可视化音频频谱，支持频谱擦除"),
            {tr("录制或导入音频后，点击“频谱”按钮打开频谱分析器"), tr("可见音频的频率分布，颜色越亮表示能量越强"),
             tr("拖动鼠标框选频谱区域，可进行频谱擦除操作"), tr("频谱擦除后点击“应用”将修改写回音频数据")});
    addCard(tr("插件使用"), tr("安装和使用VST3音频插件扩展功能"),
            {tr("在设置中指定VST3插件扫描路径，点击“扫描插件”"),
             tr("在混音器中为轨道添加插件，从下拉列表选择已扫描的插件"), tr("插件界面支持参数调节，实时听取效果变化"),
             tr("可同时使用多个插件，按钮链顺序影响音频处理流程")});

    rightLayout->addWidget(cardBox);
    rightLayout->addStretch();
    cardScroll->setWidget(right);
    contentLayout->addWidget(cardScroll, 1);

    root->addWidget(content, 1);
}

void WelcomePage::setupConnections()
{
    connect(newSingleButton, &QPushButton::clicked, this, &WelcomePage::onCreateSingleProject);
    connect(newMultiButton, &QPushButton::clicked, this, &WelcomePage::onCreateMultiProject);
    connect(importButton, &QPushButton::clicked, this, &WelcomePage::onImportProject);
}

void WelcomePage::onCreateSingleProject()
{
    emit createProject(QStringLiteral("single"));
}

void WelcomePage::onCreateMultiProject()
{
    emit createProject(QStringLiteral("multi"));
}

void WelcomePage::onImportProject()
{
    emit importProject();
}

bool WelcomePage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (auto *card = qobject_cast<QFrame *>(watched)) {
            const QString title = card->property("tutorialTitle").toString();
            const QStringList steps = card->property("tutorialSteps").toStringList();
            if (!title.isEmpty() && !steps.isEmpty()) {
                showTutorialDialog(title, steps);
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void WelcomePage::showTutorialDialog(const QString &title, const QList<QString> &steps)
{
    auto *dialog = new QDialog(this);
    dialog->setWindowTitle(title);
    dialog->resize(480, 360);
    dialog->setStyleSheet(QStringLiteral("QDialog { background-color: #1a1a2e; }QLabel { color: #e0e0e0; }"));

    auto *layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(0);

    auto *heading = new QLabel(title, dialog);
    heading->setStyleSheet(
        QStringLiteral("color: #ffffff; font-size: 20px; font-weight: bold; margin-bottom: 16px;"));
    layout->addWidget(heading);
    layout->addSpacing(16);

    auto *scroll = new QScrollArea(dialog);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setStyleSheet(QStringLiteral(
        "QScrollArea { background: transparent; border: none; }"
        "QScrollBar:vertical { background: rgba(255,255,255,0.05); width: 6px; border-radius: 3px; }"
        "QScrollBar::handle:vertical { background: rgba(255,255,255,0.15); border-radius: 3px; }"));

    auto *stepList = new QWidget;
    stepList->setStyleSheet(QStringLiteral("background: transparent;"));
    auto *stepLayout = new QVBoxLayout(stepList);
    stepLayout->setContentsMargins(0, 0, 0, 0);
    stepLayout->setSpacing(12);

    for (int i = 0; i < steps.size(); ++i) {
        auto *row = new QFrame(stepList);
        row->setStyleSheet(QStringLiteral("QFrame {  background-color: rgba(255,255,255,0.04);"
                                          "  border: 1px solid rgba(255,255,255,0.06);  border-radius: 8px;"
                                          "  padding: 12px;}"));
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(12);

        auto *number = new QLabel(QString::number(i + 1), row);
        number->setStyleSheet(QStringLiteral("color: #2a82da; font-size: 16px; font-weight: bold; min-width: 24px;"
                                             " max-width: 24px;background: transparent; border: none;"));
        number->setAlignment(Qt::AlignTop);
        rowLayout->addWidget(number, 0, Qt::AlignTop);

        auto *text = new QLabel(steps.at(i), row);
        text->setWordWrap(true);
        text->setStyleSheet(
            QStringLiteral("color: #c0c0d0; font-size: 13px; background: transparent; border: none;"));
        rowLayout->addWidget(text, 1);

        stepLayout->addWidget(row);
    }
    stepLayout->addStretch();
    scroll->setWidget(stepList);
    layout->addWidget(scroll, 1);

    layout->addSpacing(16);
    auto *closeButton = new QPushButton(tr("关闭"), dialog);
    closeButton->setFixedSize(100, 36);
    closeButton->setCursor(Qt::PointingHandCursor);
    closeButton->setStyleSheet(QStringLiteral(
        "QPushButton {  background-color: #2a82da;  color: #ffffff;  border: none;  border-radius: 6px;"
        "  font-size: 13px;  font-weight: bold;}"
        "QPushButton:hover { background-color: #1c6bb5; }"
        "QPushButton:pressed { background-color: #155a9c; }"));
    connect(closeButton, &QPushButton::clicked, dialog, &QDialog::accept);
    layout->addWidget(closeButton, 0, Qt::AlignHCenter);

    dialog->exec();
    dialog->deleteLater();
}
