#include "platform/mci/video_output_choice.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace qorve {
namespace {

bool ContainsWord(std::string_view text, std::string_view word) {
  const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  return std::search(text.begin(), text.end(), word.begin(), word.end(),
                     [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

}  // namespace

GlRendering ClassifyGlRenderer(std::string_view renderer) {
  if (renderer.find_first_not_of(" \t\r\n") == std::string_view::npos) return GlRendering::Missing;
  // Mesa's llvmpipe, softpipe and swrast ("Software Rasterizer"), and the
  // CPU rasterisers of other stacks (Microsoft's, SwiftShader).
  static constexpr std::array<std::string_view, 6> kSoftware = {
      "llvmpipe", "softpipe", "swrast", "software rasterizer", "gdi generic", "swiftshader"};
  for (const std::string_view word : kSoftware) {
    if (ContainsWord(renderer, word)) return GlRendering::Software;
  }
  return GlRendering::Hardware;
}

const char* VideoOutputSinkName(VideoOutput output) {
  switch (output) {
    case VideoOutput::OpenGl:
      return "glimagesink";
    case VideoOutput::XVideo:
      return "xvimagesink";
    case VideoOutput::XImage:
      break;
  }
  return "ximagesink";
}

std::vector<VideoOutput> VideoOutputOrder(GlRendering rendering, std::string_view requested) {
  if (!requested.empty()) {
    for (const VideoOutput output : {VideoOutput::OpenGl, VideoOutput::XVideo, VideoOutput::XImage}) {
      if (requested == VideoOutputSinkName(output)) return {output};
    }
    return {};
  }
  // A software renderer still goes first: the X image sink cannot redraw a
  // picture at a new size once the stream has stopped sending pictures, so a
  // clip shorter than the time its window takes to be placed stays black.
  if (rendering != GlRendering::Missing) return {VideoOutput::OpenGl, VideoOutput::XVideo, VideoOutput::XImage};
  return {VideoOutput::XVideo, VideoOutput::XImage};
}

std::string DescribeVideoOutput(const VideoOutput* taken, const std::vector<VideoOutput>& failed,
                                const GlVerdict& gl, bool requested) {
  std::string text = "映像出力: ";
  text += taken ? VideoOutputSinkName(*taken) : "なし";
  text += " (";
  if (requested) {
    text += "QORVE_VIDEO_SINK による指定";
  } else {
    switch (gl.rendering) {
      case GlRendering::Hardware:
        text += "OpenGL はハードウェア描画";
        break;
      case GlRendering::Software:
        text += "OpenGL はソフトウェア描画";
        break;
      case GlRendering::Missing:
        text += "OpenGL なし";
        break;
    }
    if (!gl.detail.empty()) text += ": " + gl.detail;
  }
  for (const VideoOutput output : failed) {
    text += "、";
    text += output == VideoOutput::XVideo ? std::string("XVideo なし")
                                          : std::string(VideoOutputSinkName(output)) + " 開けず";
  }
  text += ")";
  return text;
}

}  // namespace qorve
