#pragma once

#include <QString>

namespace koravel::app {

// A start from the desktop menu or the Windows shortcut (`koravel --menu`) works in the
// user's own Koravel folder, the documents folder's "Koravel", where data.ini and save.txt
// of such starts live. The folder gets the installed sample data.ini when Koravel creates
// it, and never again: a data.ini the user removed stays removed. Needs the application
// object (the sample is found beside the program). Returns the folder; when it cannot be
// made the working folder, it returns an empty text and the working folder stays.
QString EnterMenuFolder();

// Where the installed sample data.ini is, or an empty text.
QString SampleDivisionTable();

}  // namespace koravel::app
