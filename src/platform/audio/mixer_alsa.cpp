// Master volume through the ALSA simple mixer of the default control. Each call
// opens and closes the mixer, so a device that appears or goes away later is
// seen, and nothing is held between calls. A read that found no mixer is not
// tried again for kReadRetry: the window reads the volume at every repaint,
// and opening a control whose sound server is gone loads and unloads the
// server's client libraries each time.
#include "platform/audio/mixer.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <cstdlib>

namespace qorve {
namespace {

constexpr auto kReadRetry = std::chrono::seconds(2);

class AlsaMixerHandle {
 public:
  AlsaMixerHandle() {
    if (snd_mixer_open(&mixer_, 0) < 0) {
      mixer_ = nullptr;
      return;
    }
    const char* control = std::getenv("QORVE_MIXER_DEVICE");
    if (snd_mixer_attach(mixer_, control && *control ? control : "default") < 0 || snd_mixer_selem_register(mixer_, nullptr, nullptr) < 0 ||
        snd_mixer_load(mixer_) < 0) {
      snd_mixer_close(mixer_);
      mixer_ = nullptr;
    }
  }
  ~AlsaMixerHandle() {
    if (mixer_) snd_mixer_close(mixer_);
  }
  AlsaMixerHandle(const AlsaMixerHandle&) = delete;
  AlsaMixerHandle& operator=(const AlsaMixerHandle&) = delete;

  // The "Master" element, else "PCM", when it has a playback volume.
  snd_mixer_elem_t* MasterElement() const {
    if (!mixer_) return nullptr;
    for (const char* name : {"Master", "PCM"}) {
      snd_mixer_selem_id_t* id = nullptr;
      if (snd_mixer_selem_id_malloc(&id) < 0) return nullptr;
      snd_mixer_selem_id_set_index(id, 0);
      snd_mixer_selem_id_set_name(id, name);
      snd_mixer_elem_t* element = snd_mixer_find_selem(mixer_, id);
      snd_mixer_selem_id_free(id);
      if (element && snd_mixer_selem_has_playback_volume(element)) return element;
    }
    return nullptr;
  }

 private:
  snd_mixer_t* mixer_ = nullptr;
};

class AlsaMixer final : public Mixer {
 public:
  bool ReadMaster(uint16_t& value) override {
    const auto now = std::chrono::steady_clock::now();
    if (now < nextRead_) return false;
    if (Read(value)) return true;
    nextRead_ = now + kReadRetry;
    return false;
  }

  bool WriteMaster(uint16_t value) override {
    AlsaMixerHandle handle;
    snd_mixer_elem_t* element = handle.MasterElement();
    long minimum = 0, maximum = 0;
    if (!element || snd_mixer_selem_get_playback_volume_range(element, &minimum, &maximum) < 0 ||
        maximum <= minimum) {
      return false;
    }
    const long long span = maximum - minimum;
    const long raw = minimum + static_cast<long>((value * span + 32767) / 65535);
    if (snd_mixer_selem_set_playback_volume_all(element, raw) < 0) return false;
    nextRead_ = {};  // the mixer is there again
    return true;
  }

 private:
  bool Read(uint16_t& value) {
    AlsaMixerHandle handle;
    snd_mixer_elem_t* element = handle.MasterElement();
    long minimum = 0, maximum = 0, raw = 0;
    if (!element || snd_mixer_selem_get_playback_volume_range(element, &minimum, &maximum) < 0 ||
        maximum <= minimum) {
      return false;
    }
    const auto channel = snd_mixer_selem_is_playback_mono(element) ? SND_MIXER_SCHN_MONO : SND_MIXER_SCHN_FRONT_LEFT;
    if (snd_mixer_selem_get_playback_volume(element, channel, &raw) < 0) return false;
    const long long span = maximum - minimum;
    value = static_cast<uint16_t>(((raw - minimum) * 65535LL + span / 2) / span);
    return true;
  }

  std::chrono::steady_clock::time_point nextRead_{};  // reads fail at once until then
};

}  // namespace

std::unique_ptr<Mixer> CreateAlsaMixer() {
  return std::make_unique<AlsaMixer>();
}

}  // namespace qorve
