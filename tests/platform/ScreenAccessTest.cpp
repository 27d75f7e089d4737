#include "core/Log.h"
#include "core/Paths.h"
#include "core/ScreenAccess.h"
#include "support/TestSupport.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <optional>

namespace {

QStringList logMessages()
{
    slogFlush();
    QStringList messages;
    for (const QByteArray& line : readFile(Paths::logFile()).split('\n'))
        if (!line.isEmpty())
            messages << QString::fromUtf8(line.mid(21)); // after "yyyy-MM-dd HH:mm:ss  "
    return messages;
}

// Sets or clears an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, std::optional<QByteArray> value)
        : name_(name)
        , old_(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
    {
        set(value);
    }
    ~EnvVar() { set(old_); }

private:
    void set(const std::optional<QByteArray>& value)
    {
        if (value)
            qputenv(name_, *value);
        else
            qunsetenv(name_);
    }
    const char* name_;
    std::optional<QByteArray> old_;
};

} // namespace

TEST(ScreenAccess, WorksOnTheDesktopWithoutALogLine)
{
    TempSupport support;
    EXPECT_TRUE(ScreenAccess::works());
    EXPECT_TRUE(logMessages().isEmpty());
}

TEST(ScreenAccess, WithoutAnXDisplayItIsFalseWithOneLogLine)
{
    struct Case {
        std::optional<QByteArray> display, wayland;
        QString message;
    };
    for (const Case& c : {
             Case{":987", std::nullopt, "screen access probe: cannot open the X display \":987\""},
             Case{std::nullopt, "wayland-0",
                  "screen access probe: no X display: this Wayland session has no XWayland (DISPLAY is not set)"},
             Case{std::nullopt, std::nullopt, "screen access probe: no X display (DISPLAY is not set)"},
         }) {
        TempSupport support;
        EnvVar display("DISPLAY", c.display);
        EnvVar wayland("WAYLAND_DISPLAY", c.wayland);
        EXPECT_FALSE(ScreenAccess::works());
        EXPECT_EQ(logMessages(), QStringList{c.message});
    }
}
