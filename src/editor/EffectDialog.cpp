// SPDX-License-Identifier: GPL-3.0-or-later
// The effect dialogs' shared frame: button row, opening lists, preview, apply and cancel.
#include "editor/EffectDialog.h"

#include "audio/VectorState.h"
#include "editor/AudioEditorPage.h"
#include "project/UndoCommands.h"

#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include <memory>

namespace {

// Replaces both lists and sets the page's mono flag, so that undo brings the flag back with
// the lists.
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

EffectDialog::EffectDialog(AudioEditorPage *page, const Texts &texts, Preview preview)
    : QDialog(page), page(page), texts(texts), opening{page->samples, page->stereoSamples},
      lock(page->lockDocument())
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(texts.title);
    auto *layout = new QVBoxLayout(this);
    contentLayout = new QVBoxLayout();
    layout->addLayout(contentLayout);

    auto *buttons = new QHBoxLayout();
    if (preview == Preview::Offered) {
        auto *previewButton = new QPushButton(QStringLiteral("预览"), this);
        connect(previewButton, &QPushButton::clicked, this, &EffectDialog::preview);
        buttons->addWidget(previewButton);
    }
    buttons->addStretch();
    auto *applyButton = new QPushButton(texts.applyButton, this);
    auto *cancelButton = new QPushButton(QStringLiteral("取消"), this);
    connect(applyButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(applyButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
}

QDoubleSpinBox *EffectDialog::addSpinGroup(const QString &title, double minimum, double maximum, double value,
                                           double step, int decimals, const QString &suffix)
{
    auto *group = new QGroupBox(title, this);
    auto *groupLayout = new QVBoxLayout(group);
    auto *spin = new QDoubleSpinBox(group);
    spin->setRange(minimum, maximum);
    spin->setDecimals(decimals);
    spin->setSingleStep(step);
    spin->setValue(value);
    spin->setSuffix(suffix);
    groupLayout->addWidget(spin);
    contentLayout->addWidget(group);
    return spin;
}

void EffectDialog::setRun(std::function<Run()> controls)
{
    readControls = std::move(controls);
}

void EffectDialog::present()
{
    show();
    raise();
    activateWindow();
}

void EffectDialog::preview()
{
    if (busy || closing)
        return;
    busy = true;
    // The busy overlay covers the page only; the dialog takes no second click meanwhile.
    setEnabled(false);
    const Run run = readControls();
    page->showLoading(QStringLiteral("预览中..."));
    SampleLists lists = opening;
    clearUpperVectorState();
    const QString error = run.process(lists);
    if (error.isEmpty()) {
        page->samples = std::move(lists.mono);
        page->stereoSamples = std::move(lists.stereo);
        previewed = true;
    }
    page->syncWaveforms();
    page->hideLoading();
    page->showStatus(error.isEmpty() ? run.previewStatus : error);
    setEnabled(true);
    busy = false;
}

void EffectDialog::done(int result)
{
    if (busy || closing)
        return;
    closing = true;
    // Everything the handler needs is taken out first: once closed, the dialog may be deleted
    // while the busy overlay lets events run. The lock goes last, after the handler.
    const std::optional<Run> run = result == Accepted ? std::optional<Run>(readControls()) : std::nullopt;
    const SampleLists lists = opening;
    const Texts labels = texts;
    const bool shown = previewed;
    AudioEditorPage *target = page;
    DocumentLock held = std::move(lock);
    QDialog::done(result);
    if (run)
        apply(target, lists, *run, labels, shown);
    else if (shown)
        restore(target, lists);
}

void EffectDialog::apply(AudioEditorPage *page, const SampleLists &opening, const Run &run, const Texts &texts,
                         bool previewed)
{
    page->showLoading(texts.applyBusy);
    SampleLists lists = opening;
    clearUpperVectorState();
    const QString error = run.process(lists);
    if (!error.isEmpty()) {
        if (previewed)
            restore(page, opening);
        page->hideLoading();
        page->showStatus(error);
        return;
    }
    page->samples = std::move(lists.mono);
    page->stereoSamples = std::move(lists.stereo);
    auto step = std::make_unique<SamplesReplaceCommand>(&page->samples, &page->stereoSamples, opening.mono,
                                                        opening.stereo, page->samples, page->stereoSamples,
                                                        texts.undoLabel);
    if (run.monoAfter)
        page->undoStack->push(new ChannelLayoutCommand(std::move(step), &page->mono, page->mono, *run.monoAfter));
    else
        page->undoStack->push(step.release());
    page->syncWaveforms();
    page->hideLoading();
    page->showStatus(run.applyStatus);
}

void EffectDialog::restore(AudioEditorPage *page, const SampleLists &opening)
{
    page->samples = opening.mono;
    page->stereoSamples = opening.stereo;
    page->syncWaveforms();
}
