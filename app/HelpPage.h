// Where the window's help page is: beside the program in a build folder, or
// in the share folder of the prefix the program is installed in.
#pragma once

#include <QString>
#include <QStringList>

// The places looked at, in order, for a program in `programDir`.
QStringList HelpPageCandidates(const QString& programDir);

// The first candidate that exists, or an empty text.
QString FindHelpPage(const QString& programDir);
