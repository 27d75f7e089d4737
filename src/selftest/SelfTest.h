#pragma once

#include <QString>
#include <QStringList>
#include <exception>
#include <optional>

class Report;

// The offline self-test: fixed suites of checks over the components, on data
// the run makes itself, one report line per check on standard output.
namespace SelfTest {

// The "--selftest" mode of the executable: an offscreen application object (fonts
// and images need one), the run on a worker thread while the main thread waits,
// and the exit status: 0 all passed, 1 a check failed, 2 the run was refused.
// ZELVAN_SELFTEST_BREAK=mix hands the mixer nothing to mix, to show that a
// broken component turns its check red.
int main(int argc, char** argv, const QStringList& args);

// The whole run; needs a QGuiApplication. Blocking.
int run(const QStringList& args);

// Reports one check through the run's report.
void check(bool ok, const QString& name, const QString& detail = {});
Report& report();

// The readable description of whatever was thrown.
QString describe(const std::exception& e);

// The element after the first exact `name`, as it stands; nothing when the name
// is absent or last.
std::optional<QString> arg(const QStringList& args, const QString& name);
// The value of "--out", unless it is another option ("--…"): the folder is
// emptied, so a slip like "--out --server URL" falls back to the temporary folder.
std::optional<QString> outFolder(const QStringList& args);

} // namespace SelfTest
