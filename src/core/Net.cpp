#include "core/Net.h"

namespace Net {

QThreadPool& pool()
{
    static QThreadPool* const instance = [] {
        auto* p = new QThreadPool; // lives until exit: calls may still run while statics go
        p->setMaxThreadCount(8);
        p->setObjectName(QStringLiteral("zelvan.net"));
        return p;
    }();
    return *instance;
}

} // namespace Net
