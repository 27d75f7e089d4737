#pragma once

#include <QString>

// Where the system keeps its files. The support folder is ZELVAN_SUPPORT_DIR when
// set and not empty, else the user's data folder + "Zelvan"; it is worked out and
// created (owner-only) once per process.
namespace Paths {

QString support();
// Creates the folder and any missing parents, owner-only; errors are ignored.
QString ensure(const QString& folder);
// Made again on every read, so a folder deleted while the app runs comes back.
QString recordings();
QString workday();
QString pins();
// The log file; not created here.
QString logFile();

// Where the support folder would be, from the environment as it is now.
QString locateSupport();
// Tests give each case a fresh folder; an empty path returns to the normal rule.
void setSupportForTesting(const QString& folder);

} // namespace Paths
