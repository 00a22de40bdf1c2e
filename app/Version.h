#pragma once

#include <QString>

// The program's version as the title bar and -v show it: "v1.4".
QString versionText();
