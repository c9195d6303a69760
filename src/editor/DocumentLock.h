// SPDX-License-Identifier: GPL-3.0-or-later
// A counted hold on the editor page's document, taken by a dialog that shows its preview in
// the page and released when the dialog is done.
#pragma once

#include <memory>

// GUI thread only. The count is shared with the page, so a lock may outlive it.
class DocumentLock
{
public:
    DocumentLock() = default;
    explicit DocumentLock(std::shared_ptr<int> counter)
        : count(std::move(counter))
    {
        ++*count;
    }
    DocumentLock(DocumentLock &&other) noexcept = default;
    DocumentLock &operator=(DocumentLock &&other) noexcept
    {
        release();
        count = std::move(other.count);
        return *this;
    }
    DocumentLock(const DocumentLock &) = delete;
    DocumentLock &operator=(const DocumentLock &) = delete;
    ~DocumentLock() { release(); }

    void release()
    {
        if (count) {
            --*count;
            count.reset();
        }
    }

private:
    std::shared_ptr<int> count;
};
