#include "platform/mci/filter_graph.h"

#include "platform/mci/mci_gstreamer.h"

namespace qorve {
namespace {

constexpr int64_t kUnitsPerMillisecond = 10'000;  // 100-ns units

bool& AvailableForTesting() {
  static bool available = true;
  return available;
}

}  // namespace

void SetFilterGraphAvailableForTesting(bool available) { AvailableForTesting() = available; }

std::unique_ptr<FilterGraph> FilterGraph::Create() {
  if (!AvailableForTesting() || !GstreamerAvailable()) return nullptr;
  return std::unique_ptr<FilterGraph>(new FilterGraph());
}

bool FilterGraph::RenderFile(const std::string& path) {
  ClearSoundOutputFailure();
  renderError_ = MCIERR_NO_ERROR;
  device_ = OpenGstreamerDevice(path, renderError_);
  outputFailure_ = device_ ? std::string() : MciOpenFailure();
  running_ = false;
  return device_ != nullptr;
}

void FilterGraph::Run() {
  if (!device_) return;
  running_ = true;
  device_->Play();
}

void FilterGraph::Stop() {
  running_ = false;
  if (device_) device_->Pause();
}

void FilterGraph::SetPositions(int64_t current) {
  if (!device_ || current < 0) return;
  const int64_t milliseconds = current / kUnitsPerMillisecond;
  const uint32_t length = device_->Length();
  uint32_t to = milliseconds > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<uint32_t>(milliseconds);
  if (length > 0 && to > length) to = length;  // past the end: at the end
  device_->Seek(to);  // the device stops on a seek; the graph goes on running
  if (running_) device_->Play();
}

double FilterGraph::CurrentPosition() { return device_ ? device_->Position() * 0.001 : 0.0; }

double FilterGraph::Duration() { return device_ ? device_->Length() * 0.001 : 0.0; }

bool FilterGraph::GetVideoSize(int& width, int& height) {
  width = 0;
  height = 0;
  if (!device_) return false;
  MCI_RECT source{};
  if (device_->Source(source) != MCIERR_NO_ERROR) return false;
  width = source.right - source.left;
  height = source.bottom - source.top;
  return width > 0 && height > 0;
}

void FilterGraph::SetOwner(VideoSurface* surface) {
  if (device_) device_->SetWindow(reinterpret_cast<uintptr_t>(surface));
}

void FilterGraph::SetWindowPosition(int left, int top, int width, int height) {
  if (device_) device_->PutDestination(MCI_RECT{left, top, width, height});
}

}  // namespace qorve
