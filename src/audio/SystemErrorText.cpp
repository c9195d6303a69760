// SPDX-License-Identifier: GPL-3.0-or-later
// Our own words for errno: the C library's strerror() speaks the locale's language, which
// is English wherever no Chinese messages are installed.
#include "audio/SystemErrorText.h"

#include <QCoreApplication>

#include <cerrno>

QString systemErrorText(int errnoValue)
{
    const auto text = [](const char *chinese) { return QCoreApplication::translate("SystemError", chinese); };
    switch (errnoValue) {
    case ENOSPC:
        return text("磁盘空间不足");
    case EDQUOT:
        return text("已超出磁盘配额");
    case EFBIG:
        return text("文件超过了系统允许的大小");
    case EIO:
        return text("磁盘读写出错");
    case EROFS:
        return text("磁盘是只读的");
    case EACCES:
    case EPERM:
        return text("没有写入权限");
    case ENOENT:
        return text("文件夹不存在");
    case ENOTDIR:
        return text("路径中有一部分不是文件夹");
    case EISDIR:
        return text("这是一个文件夹");
    case ENAMETOOLONG:
        return text("文件名太长");
    case EEXIST:
        return text("文件已存在");
    case EMFILE:
    case ENFILE:
        return text("打开的文件太多");
    case ENOMEM:
        return text("内存不足");
    case EBUSY:
    case ETXTBSY:
        return text("文件正在被使用");
    case ELOOP:
        return text("路径中的符号链接太多");
    case ENXIO:
    case ENODEV:
        return text("设备不可用");
    case ESTALE:
        return text("网络文件系统上的文件已失效");
    case EINTR:
        return text("操作被中断");
    default:
        return text("未知的系统错误");
    }
}
