// The "CDAudio" MCI device: the whole audio CD in the drive as one stream
// (GStreamer's CD source in continuous mode), positions counted from the
// start of the first track. Without a drive, or with no audio disc in it, the
// device is not ready. The drive is /dev/cdrom, or QORVE_CD_DEVICE.
#include "platform/mci/mci_gstreamer.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace qorve {
namespace {

std::string DrivePath() {
  const char* drive = std::getenv("QORVE_CD_DEVICE");
  return drive && *drive ? drive : "/dev/cdrom";
}

// Whether the drive holds a disc with audio tracks. Opened without blocking,
// so that an empty drive answers at once instead of waiting for a disc.
bool AudioDiscPresent(const std::string& drive) {
  const int fd = ::open(drive.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool present = false;
  if (::ioctl(fd, CDROM_DRIVE_STATUS, CDSL_CURRENT) == CDS_DISC_OK) {
    const int disc = ::ioctl(fd, CDROM_DISC_STATUS, 0);
    present = disc == CDS_AUDIO || disc == CDS_MIXED;
  }
  ::close(fd);
  return present;
}

}  // namespace

std::unique_ptr<MciDevice> OpenCdAudioDevice(MCIERROR& error) {
  const std::string drive = DrivePath();
  if (!AudioDiscPresent(drive)) {
    error = MCIERR_DEVICE_NOT_READY;
    return nullptr;
  }
  GstreamerSource source;
  source.uri = "cdda://1";
  source.setupSource = [drive](GstElement* element) {
    g_object_set(element, "device", drive.c_str(), nullptr);
    gst_util_set_object_arg(G_OBJECT(element), "mode", "continuous");
  };
  std::unique_ptr<MciDevice> device = OpenGstreamerSource(source, error);
  if (!device && error != MCIERR_OUT_OF_MEMORY) error = MCIERR_DEVICE_NOT_READY;
  return device;
}

}  // namespace qorve
