// SPDX-License-Identifier: GPL-3.0-or-later
// Top-level window for one plug-in's editor: the plug-in makes its view on first exposure,
// but the view is never embedded, so the window stays an empty frame.
#pragma once

#include <QWindow>

#include <memory>
#include <string>

class VST3PluginInstance;

// GUI thread only. Shares the instance, so it stays alive while the window does. A window
// the user closes deletes itself later; hiding it keeps it.
class VST3EditorWindow : public QWindow
{
    Q_OBJECT

public:
    VST3EditorWindow(std::shared_ptr<VST3PluginInstance> instance, const std::string &title, QWindow *parent = nullptr);
    ~VST3EditorWindow() override;

    void attachPluginView();
    void detachPluginView();
    bool isViewAttached() const { return viewAttached; }

    int pluginId = -1;

signals:
    void windowClosed(int pluginId);

protected:
    void exposeEvent(QExposeEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    std::shared_ptr<VST3PluginInstance> instance;
    bool viewAttached = false;
};
