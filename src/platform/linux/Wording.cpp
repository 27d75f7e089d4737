#include "platform/Wording.h"

#include <utility>

namespace Wording {

QString desktop(const QString& text)
{
    // There is no speech permission here: recognition is off only when the models are missing.
    static const std::pair<QString, QString> places[] = {
        {QStringLiteral("System Settings › Privacy & Security › Speech Recognition"),
         QStringLiteral("install the package pocketsphinx-en-us")},
        {QStringLiteral("System Settings › Privacy & Security › Microphone"), QStringLiteral("Settings › Sound › Input")},
        {QStringLiteral("System Settings"), QStringLiteral("Settings")},
    };
    QString out = text;
    for (const auto& [mac, here] : places)
        out.replace(mac, here);
    return out;
}

} // namespace Wording
