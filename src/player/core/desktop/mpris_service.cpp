#include "player/core/desktop/mpris_service.h"

#include "platform/system/clock.h"

#include "player/core/desktop/mpris_adaptors.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDateTime>

#include <cmath>
#include <unistd.h>

namespace qorve {
namespace {

constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
// A position further than this from where steady playing would have taken it
// was reached by a seek, which remotes are told of.
constexpr qlonglong kSeekToleranceUs = 1500000;

constexpr qlonglong Microseconds(double seconds) { return static_cast<qlonglong>(seconds * 1e6); }

QString TrackId(const RemoteStatus& status) {
  if (status.trackNumber <= 0) return QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
  return QStringLiteral("/org/qorve/track/%1").arg(status.trackNumber);
}

}  // namespace

MprisService::MprisService(std::function<void()> raise) : raise_(std::move(raise)) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  new MprisRootAdaptor(this, *this);
  new MprisPlayerAdaptor(this, *this);
  if (!bus.registerObject(kObjectPath, this)) return;
  // A second player takes a name of its own, as the protocol allows.
  serviceName_ = QStringLiteral("org.mpris.MediaPlayer2.qorve");
  if (!bus.registerService(serviceName_)) {
    serviceName_ += QStringLiteral(".instance%1").arg(getpid());
    if (!bus.registerService(serviceName_)) {
      bus.unregisterObject(kObjectPath);
      return;
    }
  }
  registered_ = true;
  lastAnnouncement_ = TimeGetTime();
}

MprisService::~MprisService() {
  if (!registered_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(serviceName_);
  bus.unregisterObject(kObjectPath);
}

QString MprisService::PlaybackStatus() const {
  switch (CurrentRemoteStatus().playback) {
    case RemoteStatus::Playback::Playing:
      return QStringLiteral("Playing");
    case RemoteStatus::Playback::Paused:
      return QStringLiteral("Paused");
    case RemoteStatus::Playback::Stopped:
      break;
  }
  return QStringLiteral("Stopped");
}

// Once plays the file and stops; loop repeats it; series and random go on
// through the list without end.
QString MprisService::LoopStatus() const {
  switch (CurrentRemoteStatus().playMode) {
    case 0:
      return QStringLiteral("None");
    case 1:
      return QStringLiteral("Track");
    default:
      return QStringLiteral("Playlist");
  }
}

bool MprisService::Shuffle() const { return CurrentRemoteStatus().playMode == 3; }

QVariantMap MprisService::Metadata() const {
  const RemoteStatus status = CurrentRemoteStatus();
  QVariantMap metadata;
  metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(TrackId(status))));
  if (status.path.empty()) return metadata;
  if (status.length > 0.0) metadata.insert(QStringLiteral("mpris:length"), Microseconds(status.length));
  metadata.insert(QStringLiteral("xesam:title"), QString::fromStdString(status.title));
  if (!status.artist.empty()) {
    metadata.insert(QStringLiteral("xesam:artist"), QStringList{QString::fromStdString(status.artist)});
  }
  if (!status.album.empty()) metadata.insert(QStringLiteral("xesam:album"), QString::fromStdString(status.album));
  metadata.insert(QStringLiteral("xesam:url"), QString::fromStdString(FileUrl(status.path)));
  return metadata;
}

qlonglong MprisService::Position() const { return Microseconds(CurrentRemoteStatus().position); }

double MprisService::Volume() const { return CurrentRemoteStatus().volume; }

bool MprisService::CanSeek() const { return CurrentRemoteStatus().canSeek; }

void MprisService::Post(RemoteCommand command, double value) { PlayerRemote().Post({command, value}); }

void MprisService::AnnounceChangesWhenDue() {
  if (!registered_) return;
  const uint32_t now = TimeGetTime();
  if (now - lastAnnouncement_ < kAnnounceIntervalMs) return;
  lastAnnouncement_ = now;
  AnnounceChanges();
}

void MprisService::AnnounceChanges() {
  QVariantMap now;
  now.insert(QStringLiteral("PlaybackStatus"), PlaybackStatus());
  now.insert(QStringLiteral("LoopStatus"), LoopStatus());
  now.insert(QStringLiteral("Shuffle"), Shuffle());
  now.insert(QStringLiteral("Metadata"), Metadata());
  now.insert(QStringLiteral("Volume"), Volume());
  now.insert(QStringLiteral("CanSeek"), CanSeek());
  QVariantMap changed;
  for (auto it = now.cbegin(); it != now.cend(); ++it) {
    if (announced_.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
  }
  if (!changed.isEmpty()) {
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
  }

  // Position is not announced as it moves; a jump is, as Seeked.
  const qint64 at = QDateTime::currentMSecsSinceEpoch();
  const qlonglong position = Position();
  const bool sameTrack = announced_.value(QStringLiteral("Metadata")) == now.value(QStringLiteral("Metadata"));
  const bool playing = now.value(QStringLiteral("PlaybackStatus")).toString() == QStringLiteral("Playing");
  const qlonglong expected = lastPosition_ + (playing ? (at - lastPositionAt_) * 1000 : 0);
  if (sameTrack && !announced_.isEmpty() && std::llabs(position - expected) > kSeekToleranceUs) {
    QDBusMessage seeked = QDBusMessage::createSignal(kObjectPath, QString::fromLatin1(kPlayerInterface),
                                                     QStringLiteral("Seeked"));
    seeked << position;
    QDBusConnection::sessionBus().send(seeked);
  }
  lastPosition_ = position;
  lastPositionAt_ = at;
  announced_ = now;
}

}  // namespace qorve
