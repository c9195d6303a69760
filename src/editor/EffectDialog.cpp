// SPDX-License-Identifier: GPL-3.0-or-later
// The effect dialogs' shared frame: button row, opening lists, preview, apply and cancel.
#include "editor/EffectDialog.h"

#include "audio/VectorState.h"
#include "editor/AudioEditorPage.h"

#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

EffectDialog::EffectDialog(AudioEditorPage *page, const Texts &texts, Preview preview)
    : QDialog(page), page(page), texts(texts), opening(page->document().lists()), lock(page->document().lock())
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
        page->document().preview(std::move(lists));
        previewed = true;
    }
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
        target->document().restorePreview();
}

void EffectDialog::apply(AudioEditorPage *page, const SampleLists &opening, const Run &run, const Texts &texts,
                         bool previewed)
{
    page->showLoading(texts.applyBusy);
    SampleLists lists = opening;
    clearUpperVectorState();
    const QString error = run.process(lists);
    ClipDocument &document = page->document();
    if (!error.isEmpty()) {
        if (previewed)
            document.restorePreview();
        page->hideLoading();
        page->showStatus(error);
        return;
    }
    document.replace(std::move(lists), texts.undoLabel, run.monoAfter);
    page->hideLoading();
    page->showStatus(run.applyStatus);
}
