// MIDI ports on the ALSA sequencer: every port other clients let us write to
// (in client and port order), reached through a sequencer client of our own
// with one output port connected to it. Events are delivered directly, not
// through a queue.
#include "platform/midi/midi_out.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <mutex>

namespace qorve {
namespace {

struct PortAddress {
  int client;
  int port;
  std::string name;
};

// alsa-lib prints to stderr when there is no sequencer; that is an ordinary
// "no ports" here.
void IgnoreAlsaDiagnostic(const char*, int, const char*, int, const char*, ...) {}

snd_seq_t* OpenSequencer() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(IgnoreAlsaDiagnostic); });
  snd_seq_t* seq = nullptr;
  // Never blocking: the sequencer device sends under its lock, and a port
  // whose reader has stopped reading (a synthesizer that hangs) would
  // otherwise hold it, and the window with it, for good. A message that
  // finds the kernel's queue full is dropped.
  if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0) return nullptr;
  snd_seq_set_client_name(seq, "QORVE");
  return seq;
}

std::vector<PortAddress> WritablePorts() {
  std::vector<PortAddress> ports;
  snd_seq_t* seq = OpenSequencer();
  if (!seq) return ports;
  const int self = snd_seq_client_id(seq);
  snd_seq_client_info_t* client;
  snd_seq_port_info_t* port;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq, client) >= 0) {
    const int id = snd_seq_client_info_get_client(client);
    if (id == SND_SEQ_CLIENT_SYSTEM || id == self) continue;
    snd_seq_port_info_set_client(port, id);
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq, port) >= 0) {
      const unsigned caps = snd_seq_port_info_get_capability(port);
      const unsigned wanted = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
      if ((caps & wanted) != wanted || (caps & SND_SEQ_PORT_CAP_NO_EXPORT)) continue;
      ports.push_back({id, snd_seq_port_info_get_port(port), snd_seq_port_info_get_name(port)});
    }
  }
  snd_seq_close(seq);
  return ports;
}

class AlsaConnection final : public MidiPortConnection {
 public:
  AlsaConnection(snd_seq_t* seq, int port) : seq_(seq), port_(port) {}
  ~AlsaConnection() override { snd_seq_close(seq_); }

  MMRESULT Send(const uint8_t* bytes, std::size_t count) override {
    snd_midi_event_t* encoder = nullptr;
    if (snd_midi_event_new(std::max<std::size_t>(count, 16), &encoder) < 0) return MMSYSERR_NOMEM;
    snd_midi_event_no_status(encoder, 1);
    MMRESULT result = MMSYSERR_NOERROR;
    std::size_t at = 0;
    while (at < count) {
      snd_seq_event_t event;
      snd_seq_ev_clear(&event);
      const long used = snd_midi_event_encode(encoder, bytes + at, static_cast<long>(count - at), &event);
      if (used <= 0) break;
      at += static_cast<std::size_t>(used);
      if (event.type == SND_SEQ_EVENT_NONE) continue;  // not complete yet
      snd_seq_ev_set_source(&event, port_);
      snd_seq_ev_set_subs(&event);
      snd_seq_ev_set_direct(&event);
      if (snd_seq_event_output_direct(seq_, &event) < 0) result = MMSYSERR_ERROR;
    }
    snd_midi_event_free(encoder);
    return result;
  }

 private:
  snd_seq_t* seq_;
  int port_;
};

class AlsaMidiPorts final : public MidiPortSystem {
 public:
  std::vector<std::string> OutputPorts() override {
    std::vector<std::string> names;
    for (const PortAddress& port : WritablePorts()) names.push_back(port.name);
    return names;
  }

  std::unique_ptr<MidiPortConnection> Connect(std::size_t index, MMRESULT& error) override {
    const std::vector<PortAddress> ports = WritablePorts();
    if (index >= ports.size()) {
      error = MMSYSERR_BADDEVICEID;
      return nullptr;
    }
    snd_seq_t* seq = OpenSequencer();
    if (!seq) {
      error = MMSYSERR_NODRIVER;
      return nullptr;
    }
    const int port = snd_seq_create_simple_port(seq, "QORVE MIDI out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                                SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (port < 0 || snd_seq_connect_to(seq, port, ports[index].client, ports[index].port) < 0) {
      snd_seq_close(seq);
      error = MMSYSERR_ALLOCATED;
      return nullptr;
    }
    return std::make_unique<AlsaConnection>(seq, port);
  }
};

}  // namespace

std::unique_ptr<MidiPortSystem> CreateAlsaMidiPorts() { return std::make_unique<AlsaMidiPorts>(); }

}  // namespace qorve
