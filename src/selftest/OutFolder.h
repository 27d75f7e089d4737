#pragma once

#include <QString>
#include <optional>

// The self-test's output folder. It is emptied at the start of a run, so only a
// folder an earlier run made (it carries the marker file) or an empty one may be
// taken; anything else is refused rather than wiped.
namespace OutFolder {

inline const QString marker = QStringLiteral(".zelvan-selftest");

struct Prepared {
    QString path;                 // absolute, clean
    std::optional<QString> error; // why the folder was refused; nothing when ready
};

// The requested folder, or the temporary folder + "zelvan-selftest-<pid>":
// emptied when the self-test made it, created when missing, marked.
Prepared prepare(const std::optional<QString>& requested);

} // namespace OutFolder
