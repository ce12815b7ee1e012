#pragma once

#include <QStringList>

#include <functional>

class QWidget;

namespace marlin::about {

class AboutForm;

// Opens the About window (not modal) and returns it. The first call creates
// and fills it; later calls bring the same window back with its content until
// the user closes it through the window frame.
AboutForm* showAboutWindow(QWidget* parent = nullptr);

// A new About window for an owner that keeps it: it fills itself when first
// shown and deletes itself when closed through its frame.
AboutForm* createAboutWindow(QWidget* parent);

// How OK ends the program when the About window is the whole program; by
// default the application's event loop is left.
void setAboutEndProgram(std::function<void()> endProgram);

// The command line the About window looks at for its CVI mode, after the
// program's name. Without a call it reads the application's own arguments.
void setAboutCommandLine(const QStringList& arguments);

// True when the arguments (after the program's name) ask the About window to
// describe another application: CVI "Tool","Does things","2.0","Lab","Maker 2010","address".
bool isAboutCommandLine(const QStringList& arguments);

}  // namespace marlin::about
