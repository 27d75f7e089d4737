#include "core/Privacy.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct Case {
    const char* app;
    std::optional<QString> bundle;
    std::optional<QString> title;
    bool includeTitles;
    Privacy::Result expected;
};

const Privacy::Result hidden{"(private)", std::nullopt};

void check(const Case& c)
{
    EXPECT_EQ(Privacy::classify(QString::fromUtf8(c.app), c.bundle, c.title, c.includeTitles), c.expected)
        << c.app << " / " << c.bundle.value_or("-").toStdString() << " / " << c.title.value_or("-").toStdString();
}

} // namespace

TEST(Privacy, PasswordManagersAreHiddenByNameOrBundlePrefix)
{
    const Case cases[] = {
        {"1Password", std::nullopt, "Vault", true, hidden}, // name test ignores case
        {"1Password 7", std::nullopt, std::nullopt, true, hidden},
        {"Keychain Access", "com.apple.keychainaccess", "login", true, hidden},
        {"Passwords Helper", "com.apple.Passwords.helper", "x", true, hidden},
        {"Passwords Helper", "com.apple.passwords", "x", true, {"Passwords Helper", "x"}}, // prefix is case-sensitive
        {"Helper", "com.1password.1password", "Vault", true, hidden},
        {"Helper", "com.agilebits.onepassword7", std::nullopt, false, hidden},
        {"Dashlane Companion", "com.dashlane.dashlanephonefinal", "Vault", true, hidden},
        {"Ghost", "in.sinew.Enpass-Desktop", std::nullopt, true, hidden},
        {"LastPass", std::nullopt, std::nullopt, false, hidden},
        {"PROTON PASS", std::nullopt, "Inbox", true, hidden},
        // Whole-name match only.
        {"1Password Launcher", std::nullopt, "Vault", true, {"1Password Launcher", "Vault"}},
    };
    for (const Case& c : cases)
        check(c);
}

TEST(Privacy, LinuxApplicationIdsOfPasswordManagersAreHidden)
{
    // Flatpak ids, desktop-entry ids and executable names as a Linux desktop reports them,
    // under a window name that does not give the application away.
    const QString ids[] = {
        "com.onepassword.OnePassword",
        "1password",
        "com.bitwarden.desktop",
        "bitwarden",
        "org.keepassxc.KeePassXC",
        "keepassxc",
        "me.proton.Pass",
        "proton-pass",
        "enpass",
        "Enpass",
        "org.gnome.seahorse.Application",
        "seahorse",
        "org.kde.kwalletmanager5",
        "kwalletmanager5",
    };
    for (const QString& id : ids)
        check({"Vault window", id, "Vault", true, hidden});

    // The desktops' keyring managers by their shown names.
    check({"Passwords and Keys", std::nullopt, "Login", true, hidden});
    // Ordinary applications keep their name and title.
    check({"Firefox", "org.mozilla.firefox", "Docs", true, {"Firefox", "Docs"}});
    check({"Files", "org.gnome.Nautilus", "Home", true, {"Files", "Home"}});
}

TEST(Privacy, PrivateBrowserWindowsAreHiddenEvenWithoutTitles)
{
    const Case cases[] = {
        {"Safari", "com.apple.Safari", QString::fromUtf8("Example \u2014 Private Browsing"), false, hidden},
        {"Firefox", "org.mozilla.firefox", QString::fromUtf8("Mail \u2014 Mozilla Firefox Private Browsing"), true,
         hidden},
        {"Chromium", "chromium", "New Tab - Chromium (Incognito)", true, hidden},
        {"Edge", std::nullopt, "Bing - InPrivate", true, hidden},
        {"Brave", std::nullopt, "Search - Private", true, hidden},
        {"Arc", std::nullopt, QString::fromUtf8("Notes \u2014 private"), true, hidden},
        {"Terminal", std::nullopt, "My private window manager", true, hidden}, // no word boundaries
        {"Mail", std::nullopt, "Inbox (Private)", true, hidden},
        {"Mail", std::nullopt, "Privately yours", true, {"Mail", "Privately yours"}},
    };
    for (const Case& c : cases)
        check(c);
}

TEST(Privacy, TitlesAreTrimmedCutAndOnlyKeptWhenAllowed)
{
    check({"Google Chrome", "com.google.Chrome", "Docs", false, {"Google Chrome", std::nullopt}});
    check({"Google Chrome", "com.google.Chrome", " \n Docs\t", true, {"Google Chrome", "Docs"}});
    check({"Notes", std::nullopt, " \n\t ", true, {"Notes", std::nullopt}});
    check({"Notes", std::nullopt, std::nullopt, true, {"Notes", std::nullopt}});
    check({"Notes", std::nullopt, "", true, {"Notes", std::nullopt}});

    // Counted in user-perceived characters after trimming.
    const QString accented = QString::fromUtf8("e\u0301");
    QString exact;
    for (int i = 0; i < 300; ++i)
        exact += accented;
    check({"Notes", std::nullopt, "  " + exact + "  ", true, {"Notes", exact}});
    check({"Notes", std::nullopt, exact + "z", true, {"Notes", exact}});
    check({"Notes", std::nullopt, QString(301, 'a'), true, {"Notes", QString(300, 'a')}});
}
