#include "player/core/media_file.h"

#include <cstring>

namespace qorve {

MediaFile::MediaFile() {
  std::memset(&info_, 0, sizeof info_);
}

int MediaFile::Play(double) { return 0; }
int MediaFile::Rewind(double) { return 0; }
int MediaFile::Pause() { return 0; }
int MediaFile::Stop() { return 0; }
int MediaFile::TogglePause() { return 0; }
int MediaFile::SetSpeed(int) { return 0; }
int MediaFile::SetVideoSize(int, int, int) { return 0; }
int MediaFile::CenterVideo() { return 0; }
int MediaFile::FitPicture() { return 0; }
int MediaFile::IsPointerOnVideo() { return 0; }
int MediaFile::ShowVideo() { return 0; }
double MediaFile::FitScale(int, int) { return 1.0; }
int MediaFile::Draw(DrawContext*, int, int, int, int, int, int) { return 0; }
int MediaFile::DrawStretched(DrawContext*, int, int, int, int, int, int, int, int) { return 0; }
void MediaFile::GetInfo(MediaInfo& out) const { out = info_; }
void MediaFile::GetStatus(MediaState&) {}
void MediaFile::GetErrorText(char*, int) {}

}  // namespace qorve
