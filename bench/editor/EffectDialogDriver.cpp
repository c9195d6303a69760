// SPDX-License-Identifier: GPL-3.0-or-later
// Opens, sets and applies one effect dialog on the editor page.
#include "EffectDialogDriver.h"

#include "analysis/EqualizerDialog.h"
#include "analysis/ParametricEQWidget.h"
#include "editor/AudioEditorPage.h"
#include "editor/WaveformWidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDial>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QUndoStack>

#include <functional>

namespace {

QDoubleSpinBox *spinInGroup(QWidget *dialog, const char *title)
{
    for (QGroupBox *group : dialog->findChildren<QGroupBox *>())
        if (group->title() == QString::fromUtf8(title))
            return group->findChild<QDoubleSpinBox *>();
    return nullptr;
}

// About the first second of a three-minute clip on the page's first waveform.
void selectNoise(AudioEditorPage &page)
{
    auto *view = page.findChild<WaveformWidget *>();
    const int y = view->height() / 2;
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(10, y));
    QTest::mouseMove(view, QPoint(13, y));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(16, y));
}

struct DialogEffect
{
    const char *name;
    void (AudioEditorPage::*open)();
    std::function<void(QWidget *)> set;
};

// The five bells of the offline five-band run.
void setFiveBands(QWidget *dialog)
{
    const float frequencies[] = {100.0f, 500.0f, 2000.0f, 5000.0f, 10000.0f};
    const float gains[] = {3.0f, -3.0f, 4.0f, 2.0f, -2.0f};
    const float qs[] = {0.7f, 1.0f, 1.2f, 0.8f, 0.7f};
    ParametricEQWidget *graph = static_cast<EqualizerDialog *>(dialog)->graph();
    for (int i = 0; i < ParametricEQWidget::bandCount; ++i)
        graph->setBand(i, {true, frequencies[i], gains[i], qs[i], ParametricEQWidget::Bell, graph->band(i).color});
}

// The dialog the page just opened; the last one's went with the deferred deletes.
QWidget *openedDialog(AudioEditorPage &page)
{
    for (QDialog *dialog : page.findChildren<QDialog *>())
        if (dialog->isVisible())
            return dialog;
    return nullptr;
}

const DialogEffect effects[] = {
    {"gain", &AudioEditorPage::showGainDialog, [](QWidget *d) { d->findChild<QDoubleSpinBox *>()->setValue(-6.0); }},
    {"reverb", &AudioEditorPage::showReverbDialog,
     [](QWidget *d) {
         spinInGroup(d, "预延迟 (Pre-delay)")->setValue(20);
         spinInGroup(d, "房间大小 (Room Size)")->setValue(0.5);
         spinInGroup(d, "高频衰减 (Damping)")->setValue(0.5);
         spinInGroup(d, "混响衰减 (Decay)")->setValue(0.5);
     }},
    {"delay", &AudioEditorPage::showDelayDialog,
     [](QWidget *d) {
         d->findChild<QComboBox *>()->setCurrentIndex(5);  // an eighth note: 250 ms at 120 BPM
         spinInGroup(d, "反馈 (Feedback)")->setValue(0.5);
         spinInGroup(d, "干湿比 (Mix)")->setValue(0.4);
     }},
    {"exciter", &AudioEditorPage::showExciterDialog, [](QWidget *) {}},
    {"width", &AudioEditorPage::showImagerDialog, [](QWidget *d) { d->findChild<QDial *>()->setValue(150); }},
    {"noisered", &AudioEditorPage::showNoiseReductionDialog,
     [](QWidget *d) { d->findChild<QSlider *>()->setValue(80); }},
    {"centre", &AudioEditorPage::showCenterExtractionDialog,
     [](QWidget *d) { d->findChildren<QRadioButton *>().at(1)->setChecked(true); }},
    {"compress", &AudioEditorPage::showCompressorDialog, [](QWidget *) {}},  // its defaults are the offline run's
    {"eq5", &AudioEditorPage::showEqualizerDialog, setFiveBands},
};

} // namespace

bool applyThroughDialog(AudioEditorPage &page, const QString &name)
{
    const DialogEffect *effect = nullptr;
    for (const DialogEffect &candidate : effects)
        if (name == QLatin1String(candidate.name))
            effect = &candidate;
    if (!effect)
        return false;
    if (effect->open == &AudioEditorPage::showNoiseReductionDialog)
        selectNoise(page);
    const int steps = page.document().undoStack()->count();
    (page.*effect->open)();
    QWidget *dialog = openedDialog(page);
    if (!dialog)
        return false;
    effect->set(dialog);
    // The dialog may be gone once the click returns.
    for (QPushButton *button : dialog->findChildren<QPushButton *>())
        if (button->text() == QStringLiteral("应用")) {
            button->click();
            break;
        }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return page.document().undoStack()->count() == steps + 1;
}
