// SPDX-License-Identifier: GPL-3.0-or-later
// The single-track editor's effect dialogs (gain, centre extraction, noise reduction, channel
// conversion, reverb, delay, exciter, stereo width) and its tempo detection.
#include "editor/AudioEditorPage.h"

#include "audio/AudioProcessor.h"
#include "editor/EffectDialog.h"
#include "editor/WaveformWidget.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDial>
#include <QDoubleSpinBox>
#include <QFutureWatcher>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QThreadPool>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

namespace {

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// The exciter's and the stereo width's face: a title, a dial and a label that follows it.
QDial *addDial(EffectDialog *dialog, const QString &title, int maximum, int value, const QString &valueText)
{
    QVBoxLayout *layout = dialog->content();
    layout->setAlignment(Qt::AlignCenter);
    auto *heading = new QLabel(title, dialog);
    heading->setStyleSheet(QStringLiteral("font-size: 16px; font-weight: bold; color: #e0e0e0;"));
    heading->setAlignment(Qt::AlignCenter);
    layout->addWidget(heading);
    auto *dial = new QDial(dialog);
    dial->setRange(0, maximum);
    dial->setValue(value);
    dial->setFixedSize(140, 140);
    dial->setNotchesVisible(true);
    dial->setWrapping(false);
    layout->addWidget(dial, 0, Qt::AlignCenter);
    auto *label = new QLabel(valueText.arg(value), dialog);
    label->setStyleSheet(QStringLiteral("font-size: 13px; color: #aaaacc;"));
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    QObject::connect(dial, &QDial::valueChanged, label, [label, valueText](int v) { label->setText(valueText.arg(v)); });
    dialog->setFixedSize(260, 320);
    return dial;
}

// A processing step that cannot fail.
template<typename Step>
std::function<QString(SampleLists &)> always(Step step)
{
    return [step](SampleLists &lists) {
        step(lists);
        return QString();
    };
}

enum class Channels { Interleaved, OneByOne };

// A run of one processor effect over the document: on the interleaved pairs where the
// effect follows the channel stride, else on each channel by itself.
EffectDialog::Run processorRun(int rate, Channels channels, std::function<void(AudioProcessor &)> effect,
                               const QString &previewStatus, const QString &applyStatus)
{
    return {[=](SampleLists &lists) {
                return channels == Channels::Interleaved ? EffectProcessing::runInterleaved(lists, rate, effect)
                                                         : EffectProcessing::runPerChannel(lists, rate, effect);
            },
            previewStatus, applyStatus};
}

} // namespace

void AudioEditorPage::showGainDialog()
{
    if (!canOpenEffectDialog())
        return;
    auto *dialog = new EffectDialog(this, {QStringLiteral("增益调整"), QStringLiteral("增益"), QStringLiteral("应用增益...")},
                                    EffectDialog::Preview::Offered);
    dialog->setMinimumWidth(360);
    QDoubleSpinBox *gain = dialog->addSpinGroup(QStringLiteral("增益 (dB)"), -24, 24, 0, 0.5, 1, QStringLiteral(" dB"));
    dialog->setRun([gain] {
        const float factor = std::pow(10.0f, float(gain->value()) / 20.0f);
        const QString shown = fixed(gain->value(), 1);
        return EffectDialog::Run{always([factor](SampleLists &lists) { EffectProcessing::applyGain(lists, factor); }),
                                 QStringLiteral("预览增益: %1 dB").arg(shown),
                                 QStringLiteral("已应用增益: %1 dB").arg(shown)};
    });
    dialog->present();
}

void AudioEditorPage::showCenterExtractionDialog()
{
    if (!canOpenEffectDialog())
        return;
    const bool stereoAtOpen = !clip->stereoSamples().isEmpty();
    auto *dialog = new EffectDialog(
        this, {QStringLiteral("中置声道提取"), QStringLiteral("中置声道提取"), QStringLiteral("应用中置声道提取...")},
        EffectDialog::Preview::Offered);
    dialog->setMinimumWidth(420);

    auto *modeGroup = new QGroupBox(QStringLiteral("处理模式"), dialog);
    auto *modeLayout = new QHBoxLayout(modeGroup);
    auto *midSide = new QRadioButton(QStringLiteral("M/S 提取"), modeGroup);
    auto *spectral = new QRadioButton(QStringLiteral("频谱减法去伴奏"), modeGroup);
    midSide->setChecked(true);
    if (!stereoAtOpen) {
        spectral->setEnabled(false);
        spectral->setToolTip(QStringLiteral("频谱减法需要立体声音频"));
    }
    auto *modes = new QButtonGroup(dialog);
    modes->addButton(midSide, 0);
    modes->addButton(spectral, 1);
    modeLayout->addWidget(midSide);
    modeLayout->addWidget(spectral);
    dialog->content()->addWidget(modeGroup);

    QDoubleSpinBox *centre = dialog->addSpinGroup(QStringLiteral("中置声道强度"), 0, 1, 1, 0.05, 2);
    QDoubleSpinBox *side = dialog->addSpinGroup(QStringLiteral("侧置声道强度"), 0, 1, 0, 0.05, 2);

    auto *alphaGroup = new QGroupBox(QStringLiteral("减法强度"), dialog);
    auto *alphaLayout = new QVBoxLayout(alphaGroup);
    auto *alphaRow = new QHBoxLayout();
    auto *alpha = new QSlider(Qt::Horizontal, alphaGroup);
    alpha->setRange(0, 200);
    alpha->setValue(100);
    auto *alphaValue = new QLabel(QStringLiteral("1.00"), alphaGroup);
    alphaValue->setMinimumWidth(36);
    alphaRow->addWidget(new QLabel(QStringLiteral("α ="), alphaGroup));
    alphaRow->addWidget(alpha, 1);
    alphaRow->addWidget(alphaValue);
    alphaLayout->addLayout(alphaRow);
    auto *hint = new QLabel(QStringLiteral("0 = 不减, 1 = 标准, 2 = 强减"), alphaGroup);
    hint->setStyleSheet(QStringLiteral("color: gray; font-size: 11px;"));
    alphaLayout->addWidget(hint);
    alphaGroup->hide();
    dialog->content()->addWidget(alphaGroup);
    connect(alpha, &QSlider::valueChanged, alphaValue, [alphaValue](int v) { alphaValue->setText(fixed(v / 100.0, 2)); });

    auto *note = new QLabel(stereoAtOpen ? QStringLiteral("M/S 提取：中置=1.0, 侧置=0.0 → 保留中心内容。\n频谱减法：用侧置通道作为伴奏参考，从中心通道中减去伴奏成分。")
                                         : QStringLiteral("注意：当前音频为单声道，中置声道提取效果有限。\n中置强度将直接调节音量大小。"),
                            dialog);
    note->setWordWrap(true);
    dialog->content()->addWidget(note);

    QWidget *centreGroup = centre->parentWidget();
    QWidget *sideGroup = side->parentWidget();
    connect(modes, &QButtonGroup::idClicked, dialog, [=](int id) {
        centreGroup->setVisible(id == 0);
        sideGroup->setVisible(id == 0);
        alphaGroup->setVisible(id == 1);
    });

    const int rate = clip->sampleRate();
    dialog->setRun([=] {
        EffectDialog::Run run;
        run.previewStatus = QStringLiteral("预览中置声道提取");
        if (modes->checkedId() == 1) {
            const float strength = float(alpha->value() / 100.0);
            run.applyStatus = QStringLiteral("已应用频谱减法去伴奏 (α=%1)").arg(fixed(alpha->value() / 100.0, 2));
            if (stereoAtOpen) {
                run.process = always([strength, rate](SampleLists &lists) {
                    EffectProcessing::extractCentreSpectral(lists, strength, rate);
                });
                return run;
            }
        } else {
            run.applyStatus = QStringLiteral("已应用中置声道提取 (中置=%1, 侧置=%2)")
                                  .arg(fixed(centre->value(), 2), fixed(side->value(), 2));
        }
        const float c = float(centre->value());
        const float s = float(side->value());
        run.process = always([c, s](SampleLists &lists) { EffectProcessing::extractCentreMidSide(lists, c, s); });
        return run;
    });
    dialog->present();
}

void AudioEditorPage::showNoiseReductionDialog()
{
    if (!canOpenEffectDialog())
        return;
    if (!waveform1->hasSelection()) {
        QMessageBox::information(this, QStringLiteral("降噪"),
                                 QStringLiteral("请先在波形上框选一段纯噪声区域（如静音段、背景噪声），\n然后再次执行降噪命令。\n\n"
                                                "提示：选择一段没有语音/音乐的纯噪声部分效果最好。"));
        return;
    }
    // The noise range is fixed now, on the audio as it is now; the dialog's lock keeps it so.
    const qsizetype n = clip->samples().size();
    const double t0 = std::min(waveform1->getSelectionStart(), waveform1->getSelectionEnd());
    const double t1 = std::max(waveform1->getSelectionStart(), waveform1->getSelectionEnd());
    const auto frame = [this, n](double seconds) {
        const double value = std::trunc(double(clip->sampleRate()) * seconds);
        return value <= 0.0 ? qsizetype(0) : qsizetype(std::min(value, double(n)));
    };
    const int start = int(frame(t0));
    const int end = int(std::max(frame(t1), qsizetype(start)));

    auto *dialog = new EffectDialog(this, {QStringLiteral("降噪"), QStringLiteral("降噪"), QStringLiteral("降噪处理中...")},
                                    EffectDialog::Preview::None);
    dialog->setMinimumWidth(400);
    dialog->content()->addWidget(new QLabel(
        QStringLiteral("噪声样本: %1 - %2 秒 (%3 个采样点)").arg(fixed(t0, 3), fixed(t1, 3)).arg(end - start), dialog));
    auto *group = new QGroupBox(QStringLiteral("降噪强度"), dialog);
    auto *groupLayout = new QVBoxLayout(group);
    auto *strength = new QSlider(Qt::Horizontal, group);
    strength->setRange(0, 100);
    strength->setValue(50);
    auto *strengthLabel = new QLabel(QStringLiteral("50%"), group);
    strengthLabel->setAlignment(Qt::AlignCenter);
    connect(strength, &QSlider::valueChanged, strengthLabel,
            [strengthLabel](int v) { strengthLabel->setText(QStringLiteral("%1%").arg(v)); });
    groupLayout->addWidget(strength);
    groupLayout->addWidget(strengthLabel);
    dialog->content()->addWidget(group);

    const int rate = clip->sampleRate();
    dialog->setRun([strength, start, end, rate] {
        const float amount = float(strength->value() / 100.0);
        EffectDialog::Run run;
        run.applyStatus = QStringLiteral("降噪完成，强度: %1%").arg(strength->value());
        run.process = [amount, start, end, rate](SampleLists &lists) {
            const QString error = EffectProcessing::runPerChannel(lists, rate, [=](AudioProcessor &processor) {
                processor.analyzeNoiseProfile(start, end);
                processor.applyNoiseReduction(amount);
            });
            return error.isEmpty() ? error : QStringLiteral("降噪失败：%1").arg(error);
        };
        return run;
    });
    dialog->present();
}

void AudioEditorPage::showChannelConvertDialog()
{
    if (!canOpenEffectDialog())
        return;
    const bool stereoAtOpen = !clip->stereoSamples().isEmpty();
    auto *dialog = new EffectDialog(this,
                                    {QStringLiteral("声道转换"), QStringLiteral("声道转换"), QStringLiteral("声道转换中..."),
                                     stereoAtOpen ? QStringLiteral("转为单声道") : QStringLiteral("转为立体声")},
                                    EffectDialog::Preview::None);
    dialog->setMinimumWidth(320);
    auto *text = new QLabel(stereoAtOpen ? QStringLiteral("当前音频为立体声。\n点击下方按钮转为单声道（L+R 混合）。")
                                         : QStringLiteral("当前音频为单声道。\n点击下方按钮转为立体声（左右声道复制）。"),
                            dialog);
    text->setWordWrap(true);
    text->setStyleSheet(QStringLiteral("color: #c0c0d0; font-size: 13px; padding: 8px;"));
    dialog->content()->addWidget(text);
    dialog->setRun([stereoAtOpen] {
        EffectDialog::Run run;
        run.process = always(stereoAtOpen ? EffectProcessing::convertToMono : EffectProcessing::convertToStereo);
        run.applyStatus = stereoAtOpen ? QStringLiteral("已转为单声道") : QStringLiteral("已转为立体声");
        run.monoAfter = stereoAtOpen;
        return run;
    });
    dialog->present();
}

void AudioEditorPage::showReverbDialog()
{
    if (!canOpenEffectDialog())
        return;
    auto *dialog = new EffectDialog(this, {QStringLiteral("混响"), QStringLiteral("混响"), QStringLiteral("应用混响...")},
                                    EffectDialog::Preview::Offered);
    dialog->setMinimumWidth(420);
    auto *typeGroup = new QGroupBox(QStringLiteral("混响类型"), dialog);
    auto *typeLayout = new QVBoxLayout(typeGroup);
    auto *type = new QComboBox(typeGroup);
    struct Preset
    {
        const char *name;
        double preDelayMs, roomSize, damping, decay;
    };
    static constexpr Preset presets[] = {{"房间 (Room)", 10, 0.4, 0.6, 0.4},
                                         {"大厅 (Hall)", 30, 0.8, 0.4, 0.7},
                                         {"板式 (Plate)", 5, 0.5, 0.3, 0.6},
                                         {"小厅 (Chamber)", 15, 0.6, 0.5, 0.5}};
    for (int i = 0; i < 4; ++i)
        type->addItem(QString::fromUtf8(presets[i].name), i);
    typeLayout->addWidget(type);
    dialog->content()->addWidget(typeGroup);

    QDoubleSpinBox *preDelay = dialog->addSpinGroup(QStringLiteral("预延迟 (Pre-delay)"), 0, 200, presets[0].preDelayMs,
                                                    5, 0, QStringLiteral(" ms"));
    QDoubleSpinBox *room = dialog->addSpinGroup(QStringLiteral("房间大小 (Room Size)"), 0.1, 1, presets[0].roomSize, 0.05, 2);
    QDoubleSpinBox *damping = dialog->addSpinGroup(QStringLiteral("高频衰减 (Damping)"), 0, 1, presets[0].damping, 0.05, 2);
    QDoubleSpinBox *decay = dialog->addSpinGroup(QStringLiteral("混响衰减 (Decay)"), 0, 1, presets[0].decay, 0.05, 2);
    QDoubleSpinBox *mix = dialog->addSpinGroup(QStringLiteral("干湿比 (Mix)"), 0, 1, 0.3, 0.05, 2);
    connect(type, &QComboBox::currentIndexChanged, dialog, [=](int index) {
        if (index < 0 || index > 3)
            return;
        preDelay->setValue(presets[index].preDelayMs);
        room->setValue(presets[index].roomSize);
        damping->setValue(presets[index].damping);
        decay->setValue(presets[index].decay);
    });

    const int rate = clip->sampleRate();
    dialog->setRun([=] {
        const float m = float(mix->value()), r = float(room->value()), d = float(damping->value());
        const float p = float(preDelay->value()), t = float(decay->value());
        return processorRun(
            rate, Channels::Interleaved, [=](AudioProcessor &processor) { processor.applyReverb(m, r, d, p, t); },
            QStringLiteral("预览混响"), QStringLiteral("已应用混响"));
    });
    dialog->present();
}

void AudioEditorPage::showDelayDialog()
{
    if (!canOpenEffectDialog())
        return;
    auto *dialog = new EffectDialog(this, {QStringLiteral("延迟"), QStringLiteral("延迟"), QStringLiteral("应用延迟...")},
                                    EffectDialog::Preview::Offered);
    dialog->setMinimumWidth(420);
    QDoubleSpinBox *bpm = dialog->addSpinGroup(QStringLiteral("速度 (BPM)"), 20, 300, 120, 1, 1, QStringLiteral(" BPM"));

    auto *noteGroup = new QGroupBox(QStringLiteral("节奏型"), dialog);
    auto *noteLayout = new QVBoxLayout(noteGroup);
    auto *note = new QComboBox(noteGroup);
    const std::pair<const char *, double> notes[] = {
        {"全音符 (1/1)", 1.0},         {"二分音符 (1/2)", 0.5},       {"二分附点 (1/2 dot)", 0.75},
        {"四分音符 (1/4)", 0.25},      {"四分附点 (1/4 dot)", 0.375}, {"八分音符 (1/8)", 0.125},
        {"八分附点 (1/8 dot)", 0.1875}, {"三连音四分 (1/4 T)", 0.1667}, {"三连音八分 (1/8 T)", 0.0833},
        {"十六分音符 (1/16)", 0.0625}};
    for (const auto &[name, fraction] : notes)
        note->addItem(QString::fromUtf8(name), fraction);
    note->setCurrentIndex(4);
    noteLayout->addWidget(note);
    dialog->content()->addWidget(noteGroup);

    auto *timeLabel = new QLabel(dialog);
    timeLabel->setAlignment(Qt::AlignCenter);
    timeLabel->setStyleSheet(QStringLiteral("font-size: 13px; color: #2a82da;"));
    dialog->content()->addWidget(timeLabel);
    QDoubleSpinBox *feedback = dialog->addSpinGroup(QStringLiteral("反馈 (Feedback)"), 0, 0.95, 0.4, 0.05, 2);
    QDoubleSpinBox *mix = dialog->addSpinGroup(QStringLiteral("干湿比 (Mix)"), 0, 1, 0.5, 0.05, 2);

    // The label shows the time the note value gives; the processor limits what it uses.
    const auto delayMs = [bpm, note] { return int(60000.0 / bpm->value() * note->currentData().toDouble() * 4.0); };
    const auto showTime = [timeLabel, delayMs] { timeLabel->setText(QStringLiteral("延迟时间: %1 ms").arg(delayMs())); };
    showTime();
    connect(bpm, &QDoubleSpinBox::valueChanged, dialog, showTime);
    connect(note, &QComboBox::currentIndexChanged, dialog, showTime);

    const int rate = clip->sampleRate();
    dialog->setRun([=] {
        const float m = float(mix->value()), f = float(feedback->value());
        const int ms = delayMs();
        return processorRun(
            rate, Channels::Interleaved, [=](AudioProcessor &processor) { processor.applyDelay(m, ms, f); },
            QStringLiteral("预览延迟"), QStringLiteral("已应用延迟"));
    });
    dialog->present();
}

void AudioEditorPage::showExciterDialog()
{
    if (!canOpenEffectDialog())
        return;
    auto *dialog = new EffectDialog(this, {QStringLiteral("激励器"), QStringLiteral("激励器"), QStringLiteral("应用激励...")},
                                    EffectDialog::Preview::Offered);
    QDial *amount = addDial(dialog, QStringLiteral("激励器"), 100, 30, QStringLiteral("激励量: %1%"));
    const int rate = clip->sampleRate();
    dialog->setRun([amount, rate] {
        const float a = float(amount->value() / 100.0);
        // The exciter's filter reads the list as one channel.
        return processorRun(
            rate, Channels::OneByOne, [a](AudioProcessor &processor) { processor.applyExciter(a); },
            QStringLiteral("预览激励效果"), QStringLiteral("已应用激励效果"));
    });
    dialog->present();
}

void AudioEditorPage::showImagerDialog()
{
    if (!canOpenEffectDialog())
        return;
    if (clip->stereoSamples().isEmpty()) {
        showStatus(QStringLiteral("立体声宽度效果需要立体声音频"));
        return;
    }
    auto *dialog = new EffectDialog(
        this, {QStringLiteral("立体声宽度"), QStringLiteral("立体声宽度"), QStringLiteral("应用立体声宽度...")},
        EffectDialog::Preview::Offered);
    QDial *width = addDial(dialog, QStringLiteral("立体声宽度"), 200, 100, QStringLiteral("宽度: %1%"));
    const int rate = clip->sampleRate();
    dialog->setRun([width, rate] {
        const float w = float(width->value() / 100.0);
        return EffectDialog::Run{always([w, rate](SampleLists &lists) { EffectProcessing::applyWidth(lists, rate, w); }),
                                 QStringLiteral("预览立体声宽度"), QStringLiteral("已应用立体声宽度效果")};
    });
    dialog->present();
}

void AudioEditorPage::showTempoDetectionDialog()
{
    if (clip->isEmpty()) {
        showStatus(QStringLiteral("没有音频数据"));
        return;
    }
    // Shares the list: the pool thread reads a copy that later edits of the page never touch.
    const QList<float> copy = clip->samples();
    const int rate = clip->sampleRate();

    auto *dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QStringLiteral("音频速度检测 (BPM)"));
    dialog->setMinimumWidth(360);
    auto *layout = new QVBoxLayout(dialog);
    auto *status = new QLabel(QStringLiteral("正在分析音频，请稍候..."), dialog);
    status->setAlignment(Qt::AlignCenter);
    status->setStyleSheet(QStringLiteral("font-size: 13px;"));
    auto *result = new QLabel(QStringLiteral("-- BPM"), dialog);
    result->setAlignment(Qt::AlignCenter);
    result->setStyleSheet(QStringLiteral("font-size: 28px; font-weight: bold; color: #2a82da; margin: 12px 0;"));
    auto *detail = new QLabel(dialog);
    detail->setAlignment(Qt::AlignCenter);
    detail->setStyleSheet(QStringLiteral("font-size: 12px; color: #888;"));
    auto *close = new QPushButton(QStringLiteral("关闭"), dialog);
    connect(close, &QPushButton::clicked, dialog, &QDialog::accept);
    layout->addWidget(status);
    layout->addWidget(result);
    layout->addWidget(detail);
    layout->addWidget(close);

    // The watcher goes with the dialog; a task still running then ends on its own copy and
    // its result is dropped.
    auto *watcher = new QFutureWatcher<AudioProcessor::TempoResult>(dialog);
    connect(watcher, &QFutureWatcherBase::finished, dialog, [watcher, status, result, detail] {
        const AudioProcessor::TempoResult tempo = watcher->result();
        if (tempo.ok) {
            status->setText(QStringLiteral("检测完成"));
            result->setText(QStringLiteral("%1 BPM").arg(fixed(tempo.bpm, 1)));
            detail->setText(QStringLiteral("置信度: %1%").arg(fixed(tempo.confidence * 100.0, 1)));
        } else {
            status->setText(QStringLiteral("检测失败"));
            result->setText(QStringLiteral("-- BPM"));
            detail->setText(tempo.error);
        }
    });
    watcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), [copy, rate] {
        AudioProcessor processor;
        processor.samples = copy;
        processor.sampleRate = rate;
        processor.channels = 1;
        return processor.detectTempo();
    }));
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}
