// The video output's choice without a display: what a GL_RENDERER text says
// about the drawing, which sinks are tried in which order, and the log line.
#include "platform/mci/video_output_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qorve {
namespace {

struct RendererCase {
  const char* renderer;
  GlRendering expected;
};

class RendererText : public testing::TestWithParam<RendererCase> {};

TEST_P(RendererText, TellsSoftwareFromHardware) {
  EXPECT_EQ(ClassifyGlRenderer(GetParam().renderer), GetParam().expected) << GetParam().renderer;
}

INSTANTIATE_TEST_SUITE_P(
    Renderers, RendererText,
    testing::Values(RendererCase{"llvmpipe (LLVM 15.0.6, 256 bits)", GlRendering::Software},
                    RendererCase{"softpipe", GlRendering::Software},
                    RendererCase{"Software Rasterizer", GlRendering::Software},
                    RendererCase{"Mesa X11 swrast", GlRendering::Software},
                    RendererCase{"LLVMPIPE", GlRendering::Software},
                    // A GPU driver built on LLVM names LLVM too, but is no llvmpipe.
                    RendererCase{"AMD Radeon RX 580 Series (polaris10, LLVM 15.0.6, DRM 3.49)", GlRendering::Hardware},
                    RendererCase{"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", GlRendering::Hardware},
                    RendererCase{"NVIDIA GeForce GTX 1060/PCIe/SSE2", GlRendering::Hardware},
                    RendererCase{"", GlRendering::Missing}, RendererCase{" \n", GlRendering::Missing}));

struct OrderCase {
  GlRendering rendering;
  const char* requested;
  std::vector<std::string> expected;
};

class OutputOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(OutputOrder, OpenGlWhereThereIsARendererAndTheRequestAlone) {
  std::vector<std::string> names;
  for (const VideoOutput output : VideoOutputOrder(GetParam().rendering, GetParam().requested)) {
    names.emplace_back(VideoOutputSinkName(output));
  }
  EXPECT_EQ(names, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Facts, OutputOrder,
    testing::Values(OrderCase{GlRendering::Hardware, "", {"glimagesink", "xvimagesink", "ximagesink"}},
                    OrderCase{GlRendering::Software, "", {"glimagesink", "xvimagesink", "ximagesink"}},
                    OrderCase{GlRendering::Missing, "", {"xvimagesink", "ximagesink"}},
                    OrderCase{GlRendering::Software, "glimagesink", {"glimagesink"}},
                    OrderCase{GlRendering::Hardware, "ximagesink", {"ximagesink"}},
                    OrderCase{GlRendering::Missing, "xvimagesink", {"xvimagesink"}},
                    OrderCase{GlRendering::Hardware, "autovideosink", {}}));

TEST(VideoOutputLog, NamesTheOutputAndWhy) {
  const VideoOutput ximage = VideoOutput::XImage;
  const VideoOutput gl = VideoOutput::OpenGl;
  EXPECT_EQ(DescribeVideoOutput(&ximage, {VideoOutput::XVideo}, {GlRendering::Software, "llvmpipe"}, false),
            "映像出力: ximagesink (OpenGL はソフトウェア描画: llvmpipe、XVideo なし)");
  EXPECT_EQ(DescribeVideoOutput(&gl, {}, {GlRendering::Hardware, "NVIDIA"}, false),
            "映像出力: glimagesink (OpenGL はハードウェア描画: NVIDIA)");
  EXPECT_EQ(DescribeVideoOutput(nullptr, {VideoOutput::XImage}, {}, true),
            "映像出力: なし (QORVE_VIDEO_SINK による指定、ximagesink 開けず)");
}

}  // namespace
}  // namespace qorve
