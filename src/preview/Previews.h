#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class MenuModel;
class QSettings;

// The preview images: every surface drawn with fixed sample data into PNG files
// in both colour schemes, with no user and without the tray application.
// Main thread, with a QApplication (the mode makes one on Qt's offscreen
// platform, so no display is needed and the fonts are the same everywhere).
namespace Previews {

// The defaults suite and keyring service the settings images are drawn from:
// the application id + ".preview". It exists only while they are drawn.
QString suiteName();

// The file names, in the order they are written.
QStringList firstFiles(); // end of day, three nudges, the pill, three settings states
QStringList newUIFiles(); // the board window, then ten images dark and ten light
QStringList allFiles();

// Each writes its images into `folder` (which must exist) and returns the
// names it could not write.
QStringList renderFirst(const QString& folder);
QStringList newUI(const QString& folder);

// The sample popover menu, idle or recording, over `store` for its fold state.
std::unique_ptr<MenuModel> menuModel(bool recording, QSettings& store);

// The whole "--render-previews FOLDER" mode: creates the folder and writes
// every image. 0 when all were written; otherwise 1, naming the missing files
// on standard error.
int run(int argc, char** argv, const QString& folder);

} // namespace Previews
