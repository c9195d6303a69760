// SPDX-License-Identifier: GPL-3.0-or-later
// The start page: buttons for a new single-track or multitrack project and for opening a
// project, and seven tutorial cards that open their numbered steps in a dialog.
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

// Only announces the user's choice through its signals; the main window runs the flows.
class WelcomePage : public QWidget
{
    Q_OBJECT

public:
    explicit WelcomePage(QWidget *parent);

    // Opens the tutorial dialog for a press on a tutorial card (or its labels).
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    void createProject(const QString &type); // "single" or "multi"
    void importProject();

private slots:
    void onCreateSingleProject();
    void onCreateMultiProject();
    void onImportProject();

private:
    void setupUi();
    void setupConnections();
    // Modal; the dialog is deleted once it has closed.
    void showTutorialDialog(const QString &title, const QList<QString> &steps);

    QLabel *titleLabel = nullptr;
    QPushButton *newSingleButton = nullptr;
    QPushButton *newMultiButton = nullptr;
    QPushButton *importButton = nullptr;
};
