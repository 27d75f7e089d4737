#pragma once

#include <QString>

// Where a board download lands: a safe file name in the Downloads folder that no
// other file, and no other download started at the same moment, already has.
namespace DownloadFiles {

// The suggested name with "/" as "-", trimmed, without control characters or
// leading dots, cut to fit 255 bytes; "download" when nothing is left.
QString sanitise(const QString& suggested);

// The first free path of "name", "stem 2.ext", "stem 3.ext" …, reserved by
// creating it empty so that two downloads of one name never share a path.
// Empty when the folder cannot take a file.
QString uniqueFile(const QString& folder, const QString& name);

} // namespace DownloadFiles
