// SPDX-License-Identifier: GPL-3.0-or-later
// Dynamic-range compressor dialog of the single-track editor: six coupled slider/spin rows,
// level readouts, preview into the processor, reset, apply.
#pragma once

#include <QDialog>
#include <QList>

class AudioProcessor;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QSlider;

// GUI thread only. Works on a processor it does not own; every preview starts from the
// samples the processor held when the dialog opened (`channels` set to 1). Apply puts those
// samples back and accepts: the caller runs settings() over its audio, every channel of it.
class CompressorDialog : public QDialog
{
    Q_OBJECT

public:
    // The six values in the order applyCompression takes them.
    struct Settings
    {
        float thresholdDb = -20.0f;
        float ratio = 4.0f;
        float attackMs = 10.0f;
        float releaseMs = 100.0f;
        float makeupDb = 0.0f;
        float kneeDb = 6.0f;
    };

    CompressorDialog(AudioProcessor *processor, QWidget *parent = nullptr);
    ~CompressorDialog() override;

    Settings settings() const;
    // Compresses `processor` in place with the current settings.
    void applyParameters();

public slots:
    void onApply();
    void onPreview();
    void onReset();
    void updateGainReductionDisplay();

private:
    void setupUI();
    void connectSignals();
    void restoreInput();
    QDoubleSpinBox *addRow(QGridLayout *grid, int row, const QString &label, const QString &suffix, double low,
                           double high, double value, double step, QSlider **slider);

    AudioProcessor *processor = nullptr;
    QDoubleSpinBox *thresholdSpin = nullptr;
    QDoubleSpinBox *ratioSpin = nullptr;
    QDoubleSpinBox *attackSpin = nullptr;
    QDoubleSpinBox *releaseSpin = nullptr;
    QDoubleSpinBox *makeupSpin = nullptr;
    QDoubleSpinBox *kneeSpin = nullptr;
    QSlider *thresholdSlider = nullptr;
    QSlider *ratioSlider = nullptr;
    QSlider *attackSlider = nullptr;
    QSlider *releaseSlider = nullptr;
    QSlider *makeupSlider = nullptr;
    QSlider *kneeSlider = nullptr;
    QLabel *gainReductionLabel = nullptr;
    QLabel *inputLevelLabel = nullptr;
    QLabel *outputLevelLabel = nullptr;
    QList<float> drySamples;
    bool previewActive = false;
};
