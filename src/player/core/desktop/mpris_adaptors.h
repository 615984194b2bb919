// The two D-Bus interfaces of the MPRIS service: the application
// (org.mpris.MediaPlayer2) and its player (org.mpris.MediaPlayer2.Player).
// Each forwards to the MprisService that owns it.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

namespace qorve {

class MprisService;

class MprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ CanQuit)
  Q_PROPERTY(bool CanRaise READ CanRaise)
  Q_PROPERTY(bool CanSetFullscreen READ CanSetFullscreen)
  Q_PROPERTY(bool Fullscreen READ Fullscreen)
  Q_PROPERTY(bool HasTrackList READ HasTrackList)
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

 public:
  MprisRootAdaptor(QObject* parent, MprisService& service);

  bool CanQuit() const { return true; }
  bool CanRaise() const { return true; }
  bool CanSetFullscreen() const { return false; }
  bool Fullscreen() const { return false; }
  bool HasTrackList() const { return false; }
  QString Identity() const { return QStringLiteral("QORVE"); }
  QString DesktopEntry() const { return QStringLiteral("qorve"); }
  // The player opens files it is started on, not addresses sent to it.
  QStringList SupportedUriSchemes() const { return {}; }
  QStringList SupportedMimeTypes() const { return {}; }

 public slots:
  void Raise();
  void Quit();

 private:
  MprisService& service_;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
  Q_PROPERTY(double Rate READ Rate WRITE SetRate)
  Q_PROPERTY(bool Shuffle READ Shuffle WRITE SetShuffle)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(double MinimumRate READ Rate)
  Q_PROPERTY(double MaximumRate READ Rate)
  Q_PROPERTY(bool CanGoNext READ CanControl)
  Q_PROPERTY(bool CanGoPrevious READ CanControl)
  Q_PROPERTY(bool CanPlay READ CanControl)
  Q_PROPERTY(bool CanPause READ CanControl)
  Q_PROPERTY(bool CanSeek READ CanSeek)
  Q_PROPERTY(bool CanControl READ CanControl)

 public:
  MprisPlayerAdaptor(QObject* parent, MprisService& service);

  QString PlaybackStatus() const;
  QString LoopStatus() const;
  void SetLoopStatus(const QString& status);
  double Rate() const { return 1.0; }
  void SetRate(double) {}  // the player plays at one speed only
  bool Shuffle() const;
  void SetShuffle(bool shuffle);
  QVariantMap Metadata() const;
  double Volume() const;
  void SetVolume(double volume);
  qlonglong Position() const;
  bool CanSeek() const;
  bool CanControl() const { return true; }

 public slots:
  void Next();
  void Previous();
  void Pause();
  void PlayPause();
  void Stop();
  void Play();
  void Seek(qlonglong offset);
  void SetPosition(const QDBusObjectPath& trackId, qlonglong position);
  void OpenUri(const QString& uri);

 signals:
  void Seeked(qlonglong position);

 private:
  MprisService& service_;
};

}  // namespace qorve
