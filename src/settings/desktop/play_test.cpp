#include "settings/desktop/play_test.h"

#include "platform/system/launch.h"

#include <QFileDialog>
#include <QStringList>

namespace qorve {

std::string PlayTestCommandLine(const std::string& file) {
  std::string line = "QORVE.EXE \"";
  for (char c : file) {
    if (c == '"') line += '"';  // a doubled quote inside quotes is one quote
    line += c;
  }
  return line + "\"";
}

void RunPlayTest(QWidget* parent) {
  QFileDialog chooser(parent, QStringLiteral("開く"));
  chooser.setObjectName(QStringLiteral("playTestChooser"));
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  chooser.setNameFilter(QStringLiteral("全ての形式 (*)"));
  if (chooser.exec() != QDialog::Accepted) return;
  const QStringList files = chooser.selectedFiles();
  if (files.isEmpty()) return;
  // A failed start is ignored, as a missing program is.
  LaunchProgram(PlayTestCommandLine(files.front().toStdString()));
}

}  // namespace qorve
