// SPDX-License-Identifier: GPL-3.0-or-later
// A page at the size the tests lay out their clicks and views for, shown and on screen.
#pragma once

#include <QSize>
#include <QTest>
#include <QWidget>

// True once `page` is shown at `size` and the window system has exposed it.
inline bool showPage(QWidget &page, QSize size = {1200, 700})
{
    page.resize(size);
    page.show();
    return QTest::qWaitForWindowExposed(&page);
}
