// Which video sink draws into a native window, from what the display can do:
// OpenGL where there is a renderer, else XVideo, else plain X images. Plain decisions over facts gathered elsewhere (gl_renderer_probe.h,
// whether a sink opens), so that they hold without a display.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qorve {

enum class GlRendering { Hardware, Software, Missing };

// What is known about OpenGL on this display, and what told us.
struct GlVerdict {
  GlRendering rendering = GlRendering::Missing;
  std::string detail;  // the GL_RENDERER text, or why none was asked for
};

// GL_RENDERER's text: Mesa's software rasterisers (llvmpipe, softpipe,
// swrast, "Software Rasterizer") and other CPU renderers are Software, an
// empty text is Missing, anything else a GPU.
GlRendering ClassifyGlRenderer(std::string_view renderer);

enum class VideoOutput { OpenGl, XVideo, XImage };

// The element name of an output ("glimagesink", "xvimagesink", "ximagesink").
const char* VideoOutputSinkName(VideoOutput output);

// The outputs to try, best first: OpenGL wherever there is a renderer (on a
// software one it holds the driver and LLVM resident, about 100 MB, but X
// images cannot yet show a short clip whose window is placed after its last
// picture), then XVideo, which the X server scales, then X images behind our
// scaler. A `requested`
// sink name (QORVE_VIDEO_SINK) is the only one tried; an unknown name
// tries none.
std::vector<VideoOutput> VideoOutputOrder(GlRendering rendering, std::string_view requested);

// The log line for the output taken (null: none opened) after `failed` did
// not open: `映像出力: ximagesink (OpenGL はソフトウェア描画: llvmpipe、XVideo なし)`.
std::string DescribeVideoOutput(const VideoOutput* taken, const std::vector<VideoOutput>& failed,
                                const GlVerdict& gl, bool requested);

}  // namespace qorve
