#include "player/core/desktop/mpris_adaptors.h"

#include "player/core/desktop/mpris_service.h"

#include <algorithm>
#include <cmath>

namespace qorve {

MprisRootAdaptor::MprisRootAdaptor(QObject* parent, MprisService& service)
    : QDBusAbstractAdaptor(parent), service_(service) {}

void MprisRootAdaptor::Raise() { service_.Raise(); }

void MprisRootAdaptor::Quit() { service_.Post(RemoteCommand::Quit); }

MprisPlayerAdaptor::MprisPlayerAdaptor(QObject* parent, MprisService& service)
    : QDBusAbstractAdaptor(parent), service_(service) {
  // Property changes are announced by the service's own signal.
  setAutoRelaySignals(false);
}

QString MprisPlayerAdaptor::PlaybackStatus() const { return service_.PlaybackStatus(); }

QString MprisPlayerAdaptor::LoopStatus() const { return service_.LoopStatus(); }

void MprisPlayerAdaptor::SetLoopStatus(const QString& status) {
  if (status == QStringLiteral("None")) {
    service_.Post(RemoteCommand::SetPlayMode, 0);
  } else if (status == QStringLiteral("Track")) {
    service_.Post(RemoteCommand::SetPlayMode, 1);
  } else if (status == QStringLiteral("Playlist")) {
    service_.Post(RemoteCommand::SetPlayMode, 2);
  }
}

bool MprisPlayerAdaptor::Shuffle() const { return service_.Shuffle(); }

// Random play is a mode of its own: switching it off goes on in series.
void MprisPlayerAdaptor::SetShuffle(bool shuffle) {
  if (shuffle) {
    service_.Post(RemoteCommand::SetPlayMode, 3);
  } else if (service_.Shuffle()) {
    service_.Post(RemoteCommand::SetPlayMode, 2);
  }
}

QVariantMap MprisPlayerAdaptor::Metadata() const { return service_.Metadata(); }

double MprisPlayerAdaptor::Volume() const { return service_.Volume(); }

void MprisPlayerAdaptor::SetVolume(double volume) {
  if (!std::isfinite(volume)) return;  // no volume at all (clamping would keep a NaN)
  service_.Post(RemoteCommand::SetVolume, std::clamp(volume, 0.0, 1.0));
}

qlonglong MprisPlayerAdaptor::Position() const { return service_.Position(); }

bool MprisPlayerAdaptor::CanSeek() const { return service_.CanSeek(); }

void MprisPlayerAdaptor::Next() { service_.Post(RemoteCommand::Next); }
void MprisPlayerAdaptor::Previous() { service_.Post(RemoteCommand::Previous); }
void MprisPlayerAdaptor::Pause() { service_.Post(RemoteCommand::Pause); }
void MprisPlayerAdaptor::PlayPause() { service_.Post(RemoteCommand::PlayPause); }
void MprisPlayerAdaptor::Stop() { service_.Post(RemoteCommand::Stop); }
void MprisPlayerAdaptor::Play() { service_.Post(RemoteCommand::Play); }

void MprisPlayerAdaptor::Seek(qlonglong offset) { service_.Post(RemoteCommand::SeekBy, offset / 1e6); }

// A position for another track than the current one, or outside the current
// one, is ignored, as the protocol asks.
void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
  const QVariantMap metadata = service_.Metadata();
  const QString current = metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
  const qlonglong length = metadata.value(QStringLiteral("mpris:length")).toLongLong();
  if (trackId.path() != current || position < 0 || position > length) return;
  service_.Post(RemoteCommand::SetPosition, position / 1e6);
}

// The player is handed files when it starts; an address sent later is not
// among the schemes it announces (none), so the call does nothing.
void MprisPlayerAdaptor::OpenUri(const QString&) {}

}  // namespace qorve
