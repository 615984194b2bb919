// The probe's two sides. The child loads GStreamer's GL library with dlopen
// (the player itself does not link it: it would bring libGL and libEGL into
// every run), creates a display and a context, reads GL_RENDERER on the
// context's thread and writes it on one line to its standard output. The
// parent reads that line through a pipe, waiting at most kProbeDeadline, and
// kills a child that has not exited by then.
#include "platform/mci/gl_renderer_probe.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <glob.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gst/gst.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace qorve {
namespace {

constexpr const char* kProbeVariable = "QORVE_GL_RENDERER_PROBE";
// A GL driver starts in well under a second; one that takes longer, or
// hangs on a broken device, is no renderer to draw video with.
constexpr auto kProbeDeadline = std::chrono::seconds(3);
constexpr size_t kLongestRenderer = 512;
constexpr unsigned kGlRenderer = 0x1F01;  // GL_RENDERER

bool answersProbe = false;  // set by AnswerGlRendererProbe before any thread starts

// GStreamer's GL calls the child needs, by their C signatures (objects as
// plain GstObject pointers).
using DisplayNew = GstObject* (*)();
using ContextNew = GstObject* (*)(GstObject* display);
using ContextCreate = gboolean (*)(GstObject* context, GstObject* shared, GError** error);
using ThreadFunc = void (*)(GstObject* context, gpointer data);
using ContextThreadAdd = void (*)(GstObject* context, ThreadFunc func, gpointer data);
using ContextProcAddress = gpointer (*)(GstObject* context, const gchar* name);
using GetString = const unsigned char* (*)(unsigned name);

struct ProbeCall {
  ContextProcAddress procAddress = nullptr;
  std::string renderer;
};

// The renderer's name, or empty when no context could be made.
std::string ReadRendererInProbe() {
  if (!gst_init_check(nullptr, nullptr, nullptr)) return {};
  void* gl = dlopen("libgstgl-1.0.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!gl) return {};
  const auto displayNew = reinterpret_cast<DisplayNew>(dlsym(gl, "gst_gl_display_new"));
  const auto contextNew = reinterpret_cast<ContextNew>(dlsym(gl, "gst_gl_context_new"));
  const auto create = reinterpret_cast<ContextCreate>(dlsym(gl, "gst_gl_context_create"));
  const auto threadAdd = reinterpret_cast<ContextThreadAdd>(dlsym(gl, "gst_gl_context_thread_add"));
  ProbeCall call;
  call.procAddress = reinterpret_cast<ContextProcAddress>(dlsym(gl, "gst_gl_context_get_proc_address"));
  if (!displayNew || !contextNew || !create || !threadAdd || !call.procAddress) return {};
  GstObject* display = displayNew();
  if (!display) return {};
  GstObject* context = contextNew(display);
  if (!context || !create(context, nullptr, nullptr)) return {};
  threadAdd(
      context,
      [](GstObject* on, gpointer data) {
        auto* probe = static_cast<ProbeCall*>(data);
        const auto getString = reinterpret_cast<GetString>(probe->procAddress(on, "glGetString"));
        const unsigned char* name = getString ? getString(kGlRenderer) : nullptr;
        if (name) probe->renderer = reinterpret_cast<const char*>(name);
      },
      &call);
  return call.renderer;
}

// Whether some GPU device node is there for us to open.
bool AnyAccessible(const char* pattern) {
  glob_t found{};
  bool any = false;
  if (glob(pattern, 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc && !any; ++i) any = access(found.gl_pathv[i], R_OK | W_OK) == 0;
  }
  globfree(&found);
  return any;
}

// The first line the probe child prints, or empty (no answer in time).
std::string RunProbeChild() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> variables;
  for (char** entry = environ; entry && *entry; ++entry) {
    if (std::strncmp(*entry, kProbeVariable, std::strlen(kProbeVariable)) != 0) variables.emplace_back(*entry);
  }
  variables.push_back(std::string(kProbeVariable) + "=1");
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  char name[] = "qorve-gl-probe";
  char* argv[] = {name, nullptr};
  pid_t child = -1;
  const int spawned = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  std::string line;
  if (spawned == 0) {
    const auto deadline = std::chrono::steady_clock::now() + kProbeDeadline;
    char buffer[256];
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd wait{ends[0], POLLIN, 0};
      const int ready = poll(&wait, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) break;
      const ssize_t got = read(ends[0], buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;  // the child has exited
      line.append(buffer, static_cast<size_t>(got));
      if (line.find('\n') != std::string::npos || line.size() > kLongestRenderer) break;
    }
    // Whatever it is doing now, it has said all it will in time.
    kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  close(ends[0]);
  line = line.substr(0, std::min(line.find('\n'), kLongestRenderer));
  return line;
}

GlVerdict FindVerdict() {
  const char* forced = std::getenv("LIBGL_ALWAYS_SOFTWARE");
  if (forced && *forced && std::strcmp(forced, "0") != 0 && std::strcmp(forced, "false") != 0) {
    return {GlRendering::Software, "LIBGL_ALWAYS_SOFTWARE"};
  }
  const char* gallium = std::getenv("GALLIUM_DRIVER");
  if (gallium && ClassifyGlRenderer(gallium) == GlRendering::Software) {
    return {GlRendering::Software, std::string("GALLIUM_DRIVER=") + gallium};
  }
  if (!AnyAccessible("/dev/dri/renderD*") && !AnyAccessible("/dev/nvidia[0-9]*")) {
    return {GlRendering::Software, "GPU のデバイスなし"};
  }
  if (!answersProbe) return {GlRendering::Missing, "調べられず"};
  const std::string renderer = RunProbeChild();
  const GlRendering rendering = ClassifyGlRenderer(renderer);
  return {rendering, rendering == GlRendering::Missing ? std::string("調べられず") : renderer};
}

}  // namespace

void AnswerGlRendererProbe() {
  const char* asked = std::getenv(kProbeVariable);
  if (!asked || !*asked) {
    answersProbe = true;
    return;
  }
  const std::string renderer = ReadRendererInProbe();
  std::printf("%s\n", renderer.c_str());
  std::fflush(stdout);
  // Not exit(): the GL driver's and GStreamer's teardown have nothing to
  // give the parent and could hang or crash on the way.
  _exit(renderer.empty() ? 1 : 0);
}

const GlVerdict& GlRendererVerdict() {
  static const GlVerdict verdict = FindVerdict();
  return verdict;
}

}  // namespace qorve
