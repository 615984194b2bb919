// The play test of the settings program: the user chooses a file and the
// player is started on it.
#pragma once

#include <QString>

#include <string>

class QWidget;

namespace qorve {

// Shows the open-file chooser over `parent`; on OK starts the player on the
// chosen file and returns at once. Cancel does nothing.
void RunPlayTest(QWidget* parent);

// The command line that starts the player on `file`, quoted so that any
// file name (blanks, double quotes) reaches the player unchanged.
std::string PlayTestCommandLine(const std::string& file);

}  // namespace qorve
