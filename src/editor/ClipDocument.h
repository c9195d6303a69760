// SPDX-License-Identifier: GPL-3.0-or-later
// The single-track editor's clip: its mono and stereo lists, its rate and its history. Every
// change goes through here and is announced by `changed`, which the views follow.
#pragma once

#include "audio/FrameRange.h"
#include "audio/PeakSummary.h"
#include "audio/SpectralErase.h"
#include "editor/DocumentLock.h"
#include "editor/EffectProcessing.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QUndoStack;
class RecordTake;

// GUI thread only. The lists are shared, never written in place while anyone else holds them,
// so a view or an undo step that keeps a copy keeps what it was given.
class ClipDocument : public QObject
{
    Q_OBJECT

public:
    explicit ClipDocument(QObject *parent = nullptr);
    ~ClipDocument() override;

    // One float per frame: mono, or the left/right mean of a stereo source. What plays.
    const QList<float> &samples() const { return mono; }
    // Interleaved left/right; empty for mono audio. Every edit changes it together with
    // `samples`, so export and the stereo lanes show what plays.
    const QList<float> &stereoSamples() const { return stereo; }
    SampleLists lists() const { return {mono, stereo}; }
    int sampleRate() const { return rate; }
    // Sets the rate of the lists as they are, without a history step.
    void setSampleRate(int sampleRate);
    bool isEmpty() const { return mono.isEmpty(); }
    // The project keeps one channel: export and save write the mono list even of stereo audio.
    bool isMono() const { return monoLayout; }
    void setMono(bool on) { monoLayout = on; }
    QUndoStack *undoStack() const { return history; }

    // New lists and a new history. `summaries` may carry peak summaries of the lists
    // (AudioProcessor::peakSummaries), handed out once by takeSummaries.
    void load(SampleLists lists, int sampleRate, std::vector<PeakSummary> summaries = {});
    // The summaries given with the present lists; empty after any change or once taken.
    std::vector<PeakSummary> takeSummaries();

    // Replaces both lists as one undo step named `label`. While a preview shows, the step
    // starts from the lists before it and ends the preview. With `monoAfter` the step also
    // sets the mono flag, and its undo puts the flag back with the lists.
    void replace(SampleLists lists, const QString &label, std::optional<bool> monoAfter = std::nullopt);
    // Removes frames [start, end) of both lists as one undo step.
    void deleteFrames(int start, int end, const QString &label);
    // Erases `box` from the given channels with the brush's strength as one undo step
    // "频谱擦除". A stereo list of another length than the mono one was never shown: the
    // erase then runs on the mono list, which becomes both of its channels. Returns the
    // changed frames, empty when nothing changed (and no step was made).
    FrameRange eraseSpectralBox(const SpectralBox &box, const std::vector<ClipChannel> &channels, float strength);

    // Shows `lists` without an undo step; the first preview remembers the lists before it.
    void preview(SampleLists lists);
    // Puts back the lists from before the first preview; nothing when none shows.
    void restorePreview();

    // Undo or redo one step; false when there was none.
    bool undo();
    bool redo();

    // A recording: the open macro `label` holds undo and redo off until endTake, and the
    // take is spliced into the lists as it grows.
    void beginTake(const QString &label);
    void spliceTake(RecordTake &take);
    // Splices the rest and closes the macro; returns the frames taken. A take without
    // frames leaves no step.
    qsizetype endTake(RecordTake &take);

    // Holders of the lists (an effect dialog showing its preview); while any is held the
    // page refuses other edits.
    DocumentLock lock() { return DocumentLock(locks); }
    bool isLocked() const { return *locks > 0; }

signals:
    // The lists changed in these frames; a change of length spans the whole clip.
    void changed(FrameRange frames);

private:
    void announce(FrameRange frames);
    FrameRange whole() const { return {0, mono.size()}; }

    QList<float> mono;
    QList<float> stereo;
    int rate = 44100;
    bool monoLayout = false;
    QUndoStack *history = nullptr;
    std::vector<PeakSummary> loadedSummaries;
    // The lists a preview covers.
    std::optional<SampleLists> beforePreview;
    QString takeLabel;
    QList<float> beforeTakeMono;
    QList<float> beforeTakeStereo;
    // Shared so that a dialog's lock may outlive the document.
    std::shared_ptr<int> locks = std::make_shared<int>(0);
};
