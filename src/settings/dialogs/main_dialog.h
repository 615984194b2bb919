// The settings program's main dialog ("KESTRAVOX2の環境設定"): opens each
// settings dialog, the about box, starts the downloader and the RealMedia
// registration, resets every setting, and asks for the key-binding, file-type
// and play-test windows through signals.
#pragma once

#include <QDialog>

#include <functional>

namespace qorve {

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  // Message boxes of the reset; tests put their own in.
  struct Questions {
    std::function<bool(QWidget* parent, const QString& text, const QString& caption)> confirm;
    std::function<void(QWidget* parent, const QString& text, const QString& caption)> inform;
  };
  static Questions StandardQuestions();

  explicit MainDialog(Questions questions = StandardQuestions());

  // The button actions.
  void OpenDisplaySettings();
  void OpenGeneralSettings();
  void OpenSoundSettings();
  void OpenVideoSettings();
  void OpenImageSettings();
  void OpenAbout();
  // Asks first; on yes deletes the settings file, loads the defaults and says so.
  void ResetAllSettings();
  // Start the sibling programs; a missing program is ignored.
  static bool StartDownloader();
  static bool RegisterRealMedia();

 signals:
  void keyBindingRequested();
  void fileTypesRequested();
  void playTestRequested();

 private:
  Questions questions_;
};

}  // namespace qorve
