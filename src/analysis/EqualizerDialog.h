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
    // `processor` holds a mono copy of the clip, its rate and, for a stereo clip, a copy of
    // the interleaved list; borrowed for the dialog's life, it may be null. Apply leaves both
    // lists equalised in it. `engine` may be null.
    EqualizerDialog(AudioProcessor *processor, AudioEngine *engine, QWidget *parent = nullptr);
    ~EqualizerDialog() override;

    ParametricEQWidget *graph() const { return eqWidget; }
    // The preview's filters over one block, in place; the engine's stream thread calls it.
    void processAudioChunk(float *samples, int count) noexcept;

public slots:
    void onApply();
    void onPreview(bool checked);
    void onReset();
    void onBandChanged(int index);

private:
    void setupUI();
    void updateBiquadCoeffs();
    void applyEQ();
    // The five bands as shown over `target` (stride `channels`) at its own rate; nothing
    // when the graph is bypassed.
    void applyBands(AudioProcessor &target) const;
    void restoreDry();
    void stopPreview();

    AudioProcessor *processor = nullptr;
    QPointer<AudioEngine> engine;
    ParametricEQWidget *eqWidget = nullptr;
    QPushButton *previewButton = nullptr;
    QList<float> drySamples;
    QList<float> dryStereo;
    bool previewing = false;
    int sampleRate = 44100;
    std::unique_ptr<EqualizerPreviewFilter> previewFilter;
};
