#include "core/Address.h"
#include "core/Url.h"

#include <gtest/gtest.h>

TEST(Address, CleanTrimsAndDropsEveryTrailingSlash)
{
    const std::pair<QString, QString> cases[] = {
        {"  http://h.example:8080//  ", "http://h.example:8080"},
        {"\n\thttps://a.b/c///\n", "https://a.b/c"},
        {"HTTP://Case.Stays/Path", "HTTP://Case.Stays/Path"},
        {"/", ""},
        {"///", ""},
        {"", ""},
        {"a/ ", "a"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(Address::clean(in), out) << in.toStdString();
}

TEST(Address, IsLocalComparesTheHostExactly)
{
    const std::pair<const char*, bool> cases[] = {
        {"http://localhost", true},
        {"http://localhost:7440/", true},
        {"http://127.0.0.1:7440//", true},
        {" http://[::1]:7440 ", true},
        {"https://team.localhost", true},
        {"http://a.b.localhost:9/x", true},
        {"http://LOCALHOST", false},
        {"http://Team.LOCALHOST", false},
        {"http://127.0.0.2", false},
        {"http://localhost.example.com", false},
        {"http://user@localhost.evil", false},
        {"https://zelvan.app", false},
        {"localhost:8080", false},    // "localhost" reads as the scheme; there is no host
        {"127.0.0.1:7440", false},    // no scheme, no host
        {"http://local host", false}, // not a URL
        {"", false},
    };
    for (const auto& [base, local] : cases)
        EXPECT_EQ(Address::isLocal(base), local) << base;
}

TEST(Address, ResolveKeepsAbsoluteTextAndJoinsRelativeOnes)
{
    struct Case {
        const char* text;
        const char* base;
        std::optional<const char*> url;
    };
    const Case cases[] = {
        {"app/device?code=A", "http://127.0.0.1:7440/", "http://127.0.0.1:7440/app/device?code=A"},
        {"/app/device?code=A", " http://h:1// ", "http://h:1/app/device?code=A"},
        {"HTTPS://Example.COM/X?y=Z", "http://other", "HTTPS://Example.COM/X?y=Z"}, // unchanged, case and all
        {"https://a.b/p", "", "https://a.b/p"},
        {"", "http://h", "http://h/"},
        {"a b", "http://h", std::nullopt}, // a space is not allowed in a URL
        {"app", "", std::nullopt},         // no base: no absolute URL
        {"app", "not a base", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto url = Address::resolve(c.text, c.base);
        ASSERT_EQ(url.has_value(), c.url.has_value()) << c.text << " on " << c.base;
        if (url) {
            EXPECT_EQ(url->text(), QString::fromUtf8(*c.url)) << c.text;
        }
    }
}

TEST(Address, DefaultBaseIsACleanHttpsAddress)
{
    EXPECT_TRUE(Address::defaultBase.startsWith("https://"));
    EXPECT_EQ(Address::clean(Address::defaultBase), Address::defaultBase);
    const auto url = Url::parse(Address::defaultBase);
    ASSERT_TRUE(url && url->host());
    EXPECT_FALSE(url->host()->isEmpty());
}

TEST(Url, ParsesWithoutRewriting)
{
    struct Case {
        const char* text;
        bool valid;
        const char* scheme;
        std::optional<const char*> host;
    };
    const Case cases[] = {
        {"http://LOCALHOST:80/x", true, "http", "LOCALHOST"},
        {"https://u:p@h.example:443/a?b=c#d", true, "https", "h.example"},
        {"http://[::1]:7440/", true, "http", "::1"},
        {"http://h/a%2Fb?q=%C3%A9", true, "http", "h"},
        {"/relative/path?x", true, "", std::nullopt},
        {"mailto:someone", true, "mailto", std::nullopt},
        {"http://h:8a/", false, "", std::nullopt},   // port must be digits
        {"http://[zz]/", false, "", std::nullopt},   // not an IPv6 literal
        {"http://h/%zz", false, "", std::nullopt},   // bad escape
        {"http://h/a#b#c", false, "", std::nullopt}, // second "#"
        {"http://h/a b", false, "", std::nullopt},   // space
        {"http://h/<x>", false, "", std::nullopt},
        {"http://h/\t", false, "", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto url = Url::parse(c.text);
        ASSERT_EQ(url.has_value(), c.valid) << c.text;
        if (!url)
            continue;
        EXPECT_EQ(url->text(), QString::fromUtf8(c.text));
        EXPECT_EQ(url->scheme(), QString::fromUtf8(c.scheme)) << c.text;
        EXPECT_EQ(url->host().has_value(), c.host.has_value()) << c.text;
        if (c.host && url->host()) {
            EXPECT_EQ(*url->host(), QString::fromUtf8(*c.host)) << c.text;
        }
    }
}

TEST(Url, EncodesNonAsciiTextForTheWire)
{
    const auto url = Url::parse(QString::fromUtf8("http://h:1/api/todos/é日?day=ü"));
    ASSERT_TRUE(url);
    EXPECT_EQ(url->toEncoded(), QByteArray("http://h:1/api/todos/%C3%A9%E6%97%A5?day=%C3%BC"));
    EXPECT_EQ(url->toQUrl().path(), QString::fromUtf8("/api/todos/é日"));
    EXPECT_FALSE(Url::parse(QString::fromUtf8("http://h/a\u00a0b"))) << "no-break space";
}
