// The GStreamer side of the MCI devices: a playbin with the audio sink that
// QORVE_AUDIO asks for, and the mapping of GStreamer's errors onto MCIERR_*.
#pragma once

#include "platform/mci/mci_device.h"

#include <gst/gst.h>

#include <functional>
#include <memory>
#include <string>

namespace qorve {

// The MCI error for a GStreamer error: a missing file MCIERR_FILE_NOT_FOUND, a
// file that cannot be read MCIERR_FILE_READ, bytes no demuxer or decoder takes
// MCIERR_INVALID_FILE, a sound output that cannot be opened
// MCIERR_DEVICE_NOT_READY, a busy one MCIERR_MUST_USE_SHAREABLE, anything
// else MCIERR_DRIVER.
MCIERROR MciErrorFromGstError(const GError* error);

// Whether GStreamer could be initialised (once per program).
bool GstreamerAvailable();

struct GstreamerSource {
  std::string uri;
  // The local file behind the address, or "" (CD tracks): a file whose
  // length GStreamer cannot tell is measured from its streams.
  std::string path;
  // Called with playbin's source element once it exists (CD drive, mode).
  std::function<void(GstElement*)> setupSource;
};

// A playbin device on `source`; null and `error` set when it cannot preroll.
std::unique_ptr<MciDevice> OpenGstreamerSource(const GstreamerSource& source, MCIERROR& error);

}  // namespace qorve
