// The player on the session bus as an MPRIS 2 media player
// (org.mpris.MediaPlayer2.qorve), so that desktop media keys, panels and
// playerctl control it. Commands go into the remote queue the controller
// empties on its next poll; properties are read from the player's state, and
// their changes are announced after the controller's steps (at most every
// kAnnounceIntervalMs), by comparing snapshots: the message loop steps at
// least that often, so the service needs no timer of its own to wake it.
// User-interface thread only.
#pragma once

#include "player/core/desktop/remote_control.h"

#include <QObject>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>

namespace qorve {

class MprisService : public QObject {
  Q_OBJECT

 public:
  // `raise` brings the window back from the tray. Registers the service on
  // the session bus; without a bus, or when the name cannot be had, the
  // service stays off and the player runs as before.
  explicit MprisService(std::function<void()> raise);
  ~MprisService() override;

  bool Registered() const { return registered_; }
  void Raise() { raise_(); }

  // The properties in their D-Bus form.
  QString PlaybackStatus() const;
  QString LoopStatus() const;
  bool Shuffle() const;
  QVariantMap Metadata() const;
  qlonglong Position() const;  // microseconds
  double Volume() const;
  bool CanSeek() const;

  void Post(RemoteCommand command, double value = 0.0);

  // Announces what changed since the last announcement, when that was at
  // least kAnnounceIntervalMs ago. Called after each step of the controller.
  void AnnounceChangesWhenDue();
  static constexpr uint32_t kAnnounceIntervalMs = 250;

 private:
  void AnnounceChanges();

  std::function<void()> raise_;
  bool registered_ = false;
  QString serviceName_;
  uint32_t lastAnnouncement_ = 0;
  QVariantMap announced_;
  qlonglong lastPosition_ = 0;
  qint64 lastPositionAt_ = 0;
};

}  // namespace qorve
