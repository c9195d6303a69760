// SPDX-License-Identifier: GPL-3.0-or-later
// Top-level window for one plug-in's editor.
#include "VST3EditorWindow.h"

#include "plugins/VST3PluginInstance.h"

#include <QScreen>

#include <iostream>

VST3EditorWindow::VST3EditorWindow(std::shared_ptr<VST3PluginInstance> pluginInstance, const std::string &title,
                                   QWindow *parent)
    : QWindow(parent)
    , instance(std::move(pluginInstance))
{
    setTitle(QString::fromStdString(title));
    setFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
             | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    resize(800, 600);
    if (QScreen *available = screen()) {
        const QRect area = available->availableGeometry();
        setPosition((area.width() - 800) / 2, (area.height() - 600) / 2);
    }
    connect(this, &QWindow::visibleChanged, this, [this](bool visible) {
        if (visible)
            return;
        detachPluginView();
        emit windowClosed(pluginId);
    });
}

VST3EditorWindow::~VST3EditorWindow()
{
    // QWindow's destructor hides the window; by then this part is gone.
    disconnect(this, &QWindow::visibleChanged, this, nullptr);
    detachPluginView();
}

void VST3EditorWindow::attachPluginView()
{
    if (viewAttached || !instance)
        return;
    viewAttached = instance->showEditor(nullptr);
}

void VST3EditorWindow::detachPluginView()
{
    if (!viewAttached || !instance)
        return;
    instance->hideEditor();
    viewAttached = false;
    std::cout << "VST3EditorWindow: Plugin view detached" << std::endl;
}

void VST3EditorWindow::exposeEvent(QExposeEvent *event)
{
    QWindow::exposeEvent(event);
    if (isExposed())
        attachPluginView();
}

void VST3EditorWindow::resizeEvent(QResizeEvent *event)
{
    QWindow::resizeEvent(event);
}

void VST3EditorWindow::closeEvent(QCloseEvent *event)
{
    detachPluginView();
    emit windowClosed(pluginId);
    QWindow::closeEvent(event);
    // A closed window would otherwise keep its share of the instance, and with it the
    // module, until its owner deleted it.
    deleteLater();
}
