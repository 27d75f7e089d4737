#include "core/Privacy.h"

#include "core/Strings.h"

namespace Privacy {

const QSet<QString>& passwordApps()
{
    static const QSet<QString> names = {
        "1password",
        "1password 7",
        "keychain access",
        "passwords",
        "bitwarden",
        "lastpass",
        "dashlane",
        "enpass",
        "keepassxc",
        "proton pass",
        // The desktops' own keyring managers, counterparts of Keychain Access.
        "passwords and keys",
        "seahorse",
        "kwalletmanager",
    };
    return names;
}

const QStringList& passwordBundles()
{
    static const QStringList prefixes = {
        "com.1password", "com.agilebits", "com.apple.keychainaccess", "com.apple.Passwords", "com.bitwarden",
        "com.lastpass", "com.dashlane", "in.sinew.Enpass", "org.keepassxc", "me.proton.pass",
        // Linux ids of the same applications. Flatpak ids the prefixes above already
        // cover (com.bitwarden.desktop, org.keepassxc.KeePassXC) are not repeated.
        "com.onepassword",                          // Flathub 1Password
        "1password",                                // executable, desktop entry and snap
        "bitwarden",                                // executable, desktop entry and snap
        "keepassxc",                                // executable
        "me.proton.Pass",                           // Flatpak
        "proton-pass",                              // executable and desktop entry
        "enpass", "Enpass",                         // desktop entry, executable
        "org.gnome.seahorse", "seahorse",           // GNOME Passwords and Keys
        "org.kde.kwalletmanager", "kwalletmanager", // KDE Wallet Manager
    };
    return prefixes;
}

const QStringList& privateMarkers()
{
    static const QStringList markers = {
        "private browsing", "incognito", "inprivate", "private window", QString::fromUtf8("\u2014 private"),
        "- private",        "(private)",
    };
    return markers;
}

Result classify(const QString& app, const std::optional<QString>& bundleID, const std::optional<QString>& title,
                bool includeTitles)
{
    if (passwordApps().contains(app.toLower()))
        return {privateLabel, std::nullopt};

    const QString bundle = bundleID.value_or(QString());
    for (const QString& prefix : passwordBundles()) {
        if (bundle.startsWith(prefix, Qt::CaseSensitive))
            return {privateLabel, std::nullopt};
    }

    if (title) {
        // Checked whether or not titles are kept: a private window hides its
        // application name too.
        const QString lower = title->toLower();
        for (const QString& marker : privateMarkers()) {
            if (lower.contains(marker))
                return {privateLabel, std::nullopt};
        }
        if (includeTitles) {
            const QString kept = title->trimmed();
            if (!kept.isEmpty())
                return {app, leftGraphemes(kept, maxTitle)};
        }
    }
    return {app, std::nullopt};
}

} // namespace Privacy
