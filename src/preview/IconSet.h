#pragma once

#include <QString>
#include <QStringList>
#include <array>

// The application icon at every size an icon set holds, drawn by
// StatusIcon::appIcon and written as "icon_<name>.png".
namespace IconSet {

struct Size {
    int pixels;
    const char* name;
};

inline constexpr std::array<Size, 10> sizes{{
    {16, "16x16"},
    {32, "16x16@2x"},
    {32, "32x32"},
    {64, "32x32@2x"},
    {128, "128x128"},
    {256, "128x128@2x"},
    {256, "256x256"},
    {512, "256x256@2x"},
    {512, "512x512"},
    {1024, "512x512@2x"},
}};

QString fileName(const Size& size);

// Creates the folder (with its parents) and writes the ten files into it,
// replacing files of the same names. Returns the names that could not be
// written, each failure logged with its reason; empty when all were.
QStringList make(const QString& folder);

// The whole "--make-iconset FOLDER" mode, with no display: 0 when every icon
// was written; otherwise 1, naming the missing files on standard error.
int run(int argc, char** argv, const QString& folder);

} // namespace IconSet
