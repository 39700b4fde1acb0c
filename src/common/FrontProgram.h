#pragma once

#include <QString>

// The program that key bindings, autostart entries and scripts should run: `wendlo` beside
// this app's executable (the small front that hands commands over without loading Qt), or
// this executable itself where there is none (a build laid out otherwise).
namespace FrontProgram {

QString path();

// As `path`, for the app at `executable`.
QString besideApp(const QString& executable);

} // namespace FrontProgram
