// SPDX-License-Identifier: GPL-3.0-or-later
// The user's words for why the system refused a file operation.
#pragma once

#include <QString>

// Chinese for the errno of a failed create, write, flush or rename ("磁盘空间不足" for
// ENOSPC); a general text for a code a file operation is not expected to give.
QString systemErrorText(int errnoValue);
