// SPDX-License-Identifier: GPL-3.0-or-later
// Five-band parametric equaliser dialog of the single-track editor: the band graph over a
// live spectrum, a preview through the editor's engine, and the offline run on Apply.
#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>

#include <memory>

class AudioEngine;
class AudioProcessor;
class EqualizerPreviewFilter;
class ParametricEQWidget;
class QPushButton;

// GUI thread, except the preview filter, which the engine runs on its stream thread (see
// EqualizerPreviewFilter). Window-modal: the page cannot change the buffer it copied.
// The engine is only borrowed and may be deleted by its owner at any time; the dialog then
// simply has no preview. Every rate here is the clip's (the processor's), never the engine's.
class EqualizerDialog : public QDialog
{
    Q_OBJECT

public:
    // `processor` holds a mono copy of the clip and its rate, borrowed for the dialog's life;
    // it may be null. `engine` may be null.
    EqualizerDialog(AudioProcessor *processor, AudioEngine *engine, QWidget *parent = nullptr);
    ~EqualizerDialog() override;

    // Runs the five bands, as the dialog shows them, over `target` (stride `channels`) at
    // its own rate: the same filters as Apply, for another list of the same clip. Nothing
    // when the graph is bypassed.
    void applyBands(AudioProcessor &target) const;

    ParametricEQWidget *graph() const { return eqWidget; }

public slots:
    void onApply();
    void onPreview(bool checked);
    void onReset();
    void onBandChanged(int index);

private:
    void setupUI();
    void updateBiquadCoeffs();
    void applyEQ();
    void stopPreview();

    AudioProcessor *processor = nullptr;
    QPointer<AudioEngine> engine;
    ParametricEQWidget *eqWidget = nullptr;
    QPushButton *previewButton = nullptr;
    QList<float> drySamples;
    bool previewing = false;
    int sampleRate = 44100;
    std::unique_ptr<EqualizerPreviewFilter> previewFilter;
};
