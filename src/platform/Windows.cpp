#include "platform/Windows.h"

std::optional<QString> Windows::frontTitle(qint32 pid)
{
    return frontTitle(list(), pid);
}

std::optional<QString> Windows::frontTitle(const std::vector<Win>& windows, qint32 pid)
{
    for (const Win& w : windows)
        if (w.pid == pid && !w.title.isEmpty())
            return w.title;
    return std::nullopt;
}
