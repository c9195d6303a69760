// SPDX-License-Identifier: GPL-3.0-or-later
// The single-track editor's clip: lists, rate, history, previews, recorded takes and the
// spectral erase.
#include "editor/ClipDocument.h"

#include "analysis/SpectrogramColumns.h"
#include "editor/RecordTake.h"
#include "project/UndoCommands.h"

#include <QUndoStack>

namespace {

// Replaces both lists and sets the mono flag, so that undo brings the flag back with the lists.
class ChannelLayoutCommand : public QUndoCommand
{
public:
    ChannelLayoutCommand(std::unique_ptr<SamplesReplaceCommand> lists, bool *mono, bool monoBefore, bool monoAfter)
        : QUndoCommand(lists->text()), lists(std::move(lists)), mono(mono), monoBefore(monoBefore),
          monoAfter(monoAfter)
    {
    }
    void redo() override
    {
        lists->redo();
        *mono = monoAfter;
    }
    void undo() override
    {
        lists->undo();
        *mono = monoBefore;
    }

private:
    std::unique_ptr<SamplesReplaceCommand> lists;
    bool *mono;
    bool monoBefore;
    bool monoAfter;
};

} // namespace

ClipDocument::ClipDocument(QObject *parent)
    : QObject(parent), history(new QUndoStack(this))
{
}

ClipDocument::~ClipDocument() = default;

void ClipDocument::setSampleRate(int sampleRate)
{
    rate = sampleRate;
}

void ClipDocument::load(SampleLists lists, int sampleRate, std::vector<PeakSummary> summaries)
{
    mono = std::move(lists.mono);
    stereo = std::move(lists.stereo);
    rate = sampleRate;
    beforePreview.reset();
    history->clear();
    loadedSummaries = std::move(summaries);
    announce(whole());
}

std::vector<PeakSummary> ClipDocument::takeSummaries()
{
    return std::exchange(loadedSummaries, {});
}

void ClipDocument::replace(SampleLists lists, const QString &label, std::optional<bool> monoAfter)
{
    SampleLists before = beforePreview ? std::move(*beforePreview) : SampleLists{mono, stereo};
    beforePreview.reset();
    mono = std::move(lists.mono);
    stereo = std::move(lists.stereo);
    auto step = std::make_unique<SamplesReplaceCommand>(&mono, &stereo, std::move(before.mono),
                                                        std::move(before.stereo), mono, stereo, label);
    if (monoAfter)
        history->push(new ChannelLayoutCommand(std::move(step), &monoLayout, monoLayout, *monoAfter));
    else
        history->push(step.release());
    announce(whole());
}

void ClipDocument::deleteFrames(int start, int end, const QString &label)
{
    // Both lists lose the same frames in one step, so what plays is what is shown and exported.
    history->beginMacro(label);
    history->push(new DeleteSelectionCommand(&mono, start, end, label));
    if (!stereo.isEmpty()) {
        const int stereoEnd = int(std::min<qsizetype>(2 * qsizetype(end), stereo.size() & ~qsizetype(1)));
        history->push(new DeleteSelectionCommand(&stereo, 2 * start, stereoEnd, label));
    }
    history->endMacro();
    announce(whole());
}

FrameRange ClipDocument::eraseSpectralBox(const SpectralBox &box, const std::vector<ClipChannel> &channels,
                                          float strength)
{
    // Nothing to change: keep sharing the lists rather than copying them for nothing.
    if (mono.isEmpty() || spectralEraseRange(mono.size(), rate, box).isEmpty())
        return {};
    const bool pairs = !stereo.isEmpty() && stereo.size() / 2 == mono.size();
    // The history keeps the old lists: the erase writes into copies of its own.
    SampleLists erased{mono, pairs ? stereo : QList<float>()};
    detachLargeList(erased.mono);
    if (pairs)
        detachLargeList(erased.stereo);
    FrameRange changedFrames;
    for (ClipChannel channel : channels) {
        if (channel == ClipChannel::Mono)
            changedFrames = changedFrames.united(
                ::eraseSpectralBox(erased.mono.data(), erased.mono.size(), 1, rate, box, strength));
        else if (pairs)
            changedFrames = changedFrames.united(::eraseSpectralBox(erased.stereo.data() + (channel == ClipChannel::Right ? 1 : 0),
                                                                    erased.stereo.size() / 2, 2, rate, box, strength));
    }
    if (changedFrames.isEmpty())
        return {};
    if (pairs) {
        // The mono list stays the mean of the pair, recomputed only where a channel changed.
        float *means = erased.mono.data();
        const float *values = erased.stereo.constData();
        for (qsizetype i = changedFrames.first; i < changedFrames.end; ++i)
            means[i] = (values[2 * i] + values[2 * i + 1]) * 0.5f;
    } else if (!stereo.isEmpty()) {
        EffectProcessing::convertToStereo(erased);
    }
    QList<float> oldMono = std::exchange(mono, std::move(erased.mono));
    QList<float> oldStereo = std::exchange(stereo, std::move(erased.stereo));
    history->push(new SamplesReplaceCommand(&mono, &stereo, std::move(oldMono), std::move(oldStereo), mono, stereo,
                                            QStringLiteral("频谱擦除")));
    announce(changedFrames);
    return changedFrames;
}

void ClipDocument::preview(SampleLists lists)
{
    if (!beforePreview)
        beforePreview = SampleLists{mono, stereo};
    mono = std::move(lists.mono);
    stereo = std::move(lists.stereo);
    announce(whole());
}

void ClipDocument::restorePreview()
{
    if (!beforePreview)
        return;
    mono = std::move(beforePreview->mono);
    stereo = std::move(beforePreview->stereo);
    beforePreview.reset();
    announce(whole());
}

bool ClipDocument::undo()
{
    if (!history->canUndo())
        return false;
    history->undo();
    announce(whole());
    return true;
}

bool ClipDocument::redo()
{
    if (!history->canRedo())
        return false;
    history->redo();
    announce(whole());
    return true;
}

void ClipDocument::beginTake(const QString &label)
{
    takeLabel = label;
    beforeTakeMono = mono;
    beforeTakeStereo = stereo;
    history->beginMacro(label);
}

void ClipDocument::spliceTake(RecordTake &take)
{
    take.spliceInto(mono, stereo);
    announce(whole());
}

qsizetype ClipDocument::endTake(RecordTake &take)
{
    take.spliceInto(mono, stereo);
    const qsizetype inserted = take.size();
    take.begin(0);
    if (inserted < 1) {
        history->endMacro();
        // Nothing was captured: take the empty step off the stack again.
        if (history->index() > 0) {
            auto *empty = const_cast<QUndoCommand *>(history->command(history->index() - 1));
            if (empty->childCount() == 0 && empty->text() == takeLabel) {
                empty->setObsolete(true);
                history->undo();
            }
        }
        beforeTakeMono.clear();
        beforeTakeStereo.clear();
        return 0;
    }
    history->push(new InsertRecordCommand(&mono, std::move(beforeTakeMono), takeLabel));
    if (!stereo.isEmpty())
        history->push(new InsertRecordCommand(&stereo, std::move(beforeTakeStereo), takeLabel));
    history->endMacro();
    beforeTakeMono.clear();
    beforeTakeStereo.clear();
    announce(whole());
    return inserted;
}

void ClipDocument::announce(FrameRange frames)
{
    emit changed(frames);
    // Summaries describe the loaded lists only; the views have taken them by now.
    loadedSummaries.clear();
}
