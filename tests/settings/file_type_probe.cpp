// Drives the file-type dialog for the end-to-end check of the associations:
// clicks the check box of every label given (an extension such as "OGG", or
// "SENDTO" for the Send To box), as a user would, and prints each box's state
// afterwards ("OGG 1"); a label written "=OGG" is only read, not clicked.
// Runs on any Qt platform; message boxes are answered.
// Usage: file_type_probe LABEL...
#include "settings/dialogs/file_type_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  qorve::FileTypeDialog dialog;
  // A message box would wait for a user: print it and close it.
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [] {
    if (auto* message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      std::printf("message %s\n", message->text().toUtf8().constData());
      message->accept();
    }
  });
  answer.start(10);
  int result = 0;
  for (int i = 1; i < argc; ++i) {
    QString label = QString::fromLocal8Bit(argv[i]);
    const bool readOnly = label.startsWith('=');
    if (readOnly) label.remove(0, 1);
    QCheckBox* box = nullptr;
    for (QCheckBox* candidate : dialog.findChildren<QCheckBox*>()) {
      const bool sendTo = candidate->objectName() == qorve::FileTypeDialog::ControlName(1252);
      if (sendTo ? label == "SENDTO" : candidate->text() == label) box = candidate;
    }
    if (!box) {
      std::printf("no box %s\n", argv[i]);
      result = 1;
      continue;
    }
    if (!readOnly) box->click();
    std::printf("%s %d\n", label.toLocal8Bit().constData(), box->isChecked() ? 1 : 0);
  }
  return result;
}
