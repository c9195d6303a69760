// SPDX-License-Identifier: GPL-3.0-or-later
// One effect dialog of the single-track editor: the controls of its effect above a row of
// "预览", "应用" and "取消", working on the page's document as it was when it opened.
#pragma once

#include "editor/DocumentLock.h"
#include "editor/EffectProcessing.h"

#include <QDialog>

#include <functional>
#include <optional>

class AudioEditorPage;
class QDoubleSpinBox;
class QPushButton;
class QVBoxLayout;

// GUI thread only. Preview shows the processed opening lists in the page without an undo
// step; apply records one step from the opening lists to the result; cancel (the button,
// Escape or the window's close button) puts the opening lists back. Every run starts again
// from the opening lists, so previews never add up. While the dialog is open it holds the
// page's document, so nothing else changes the lists under it. Deletes itself on close.
class EffectDialog : public QDialog
{
    Q_OBJECT

public:
    struct Texts
    {
        QString title;
        QString undoLabel;
        QString applyBusy;
        QString applyButton = QStringLiteral("应用");
    };
    // One run of the effect with the control values read when it was made.
    struct Run
    {
        Run() = default;
        Run(std::function<QString(SampleLists &)> process, QString previewStatus, QString applyStatus)
            : process(std::move(process)), previewStatus(std::move(previewStatus)), applyStatus(std::move(applyStatus))
        {
        }

        // Changes the lists in place; returns an error text, empty on success.
        std::function<QString(SampleLists &)> process;
        QString previewStatus;
        QString applyStatus;
        // Set when the step also sets the document's mono flag, which its undo then restores.
        std::optional<bool> monoAfter;
    };
    enum class Preview { Offered, None };

    EffectDialog(AudioEditorPage *page, const Texts &texts, Preview preview);

    // Where the effect's controls go, above the button row.
    QVBoxLayout *content() const { return contentLayout; }
    // Adds a group box titled `title` holding a spin box with these settings.
    QDoubleSpinBox *addSpinGroup(const QString &title, double minimum, double maximum, double value, double step,
                                 int decimals, const QString &suffix = {});
    void setRun(std::function<Run()> readControls);
    // Shows, raises and activates the dialog.
    void present();

    void done(int result) override;

private:
    void preview();
    static void apply(AudioEditorPage *page, const SampleLists &opening, const Run &run, const Texts &texts,
                      bool previewed);

    AudioEditorPage *page;
    Texts texts;
    SampleLists opening;
    DocumentLock lock;
    std::function<Run()> readControls;
    QVBoxLayout *contentLayout = nullptr;
    bool previewed = false;
    bool busy = false;
    bool closing = false;
};
