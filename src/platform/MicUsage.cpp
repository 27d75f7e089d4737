#include "platform/MicUsage.h"

#include "platform/AppId.h"

#include <QCoreApplication>

std::optional<bool> MicUsage::othersUsingInput()
{
    return othersAmong(processesUsingInput(), qint32(QCoreApplication::applicationPid()), QString::fromLatin1(appId));
}

std::optional<bool> MicUsage::othersAmong(const std::optional<std::vector<Proc>>& procs, qint32 ownPid,
                                          const QString& ownId)
{
    if (!procs)
        return std::nullopt;
    for (const Proc& p : *procs) {
        if (p.pid == ownPid)
            continue;
        if (ownId.isEmpty() || p.bundleID != ownId)
            return true;
    }
    return false;
}
