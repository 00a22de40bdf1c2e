#pragma once

#include <QString>

// The program's version as the title bar and -v show it: "v1.4", the major and minor
// numbers of the project version in the top-level CMakeLists.txt.
QString versionText();
