#include "platform/mci/file_gate.h"

#include "platform/mci/mci_gstreamer.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include <gst/base/gsttypefindhelper.h>
#include <gst/gst.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

namespace qorve {
namespace {

// As much of a file as GStreamer's typefinders are shown: manifests and
// playlists give themselves away in their first lines, and the probe must
// not read a whole file the devices are about to read anyway.
constexpr std::size_t kHeadBytes = 64 * 1024;

// Media types of files that name other files or addresses. GStreamer has
// typefinders for most of them and elements that fetch what they name (the
// adaptive demultiplexers, the SDP session element); a player handed one of
// these as a media file must read it as nothing.
constexpr std::string_view kReferencingTypes[] = {
    "application/x-hls",           // HLS playlists (.m3u8)
    "application/dash+xml",        // DASH manifests
    "application/vnd.ms-sstr+xml", // Smooth Streaming manifests
    "application/sdp",             // RTP session descriptions
    "application/smil",            // SMIL presentations
    "application/xspf+xml",        // XSPF playlists
    "audio/x-mpegurl",             // .m3u playlists
    "audio/x-scpls",               // .pls playlists
    "video/x-ms-asx",              // ASX playlists
    "text/uri-list",               // lists of addresses (.ram)
};

// libavformat's demultiplexers that open further files or addresses named
// inside the file or beside it (a VobSub index reads the .sub of its name),
// or that hold no media at all (metadata files).
constexpr std::string_view kReferencingDemuxers[] = {
    "hls", "dash", "concat", "ffmetadata", "image2", "image2pipe", "imf", "sdp", "rtp", "rtsp", "sap", "vobsub",
};

// The protocols of the URI sources that may stay: the local file, the CD
// and the application's own source.
constexpr std::string_view kLocalProtocols[] = {"file", "cdda", "appsrc"};

template <std::size_t N>
bool Listed(const std::string_view (&list)[N], std::string_view name) {
  for (const std::string_view entry : list) {
    if (entry == name) return true;
  }
  return false;
}

std::vector<guint8> ReadHead(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return {};  // a FIFO could block
  std::ifstream file(path, std::ios::binary);
  std::vector<guint8> head(kHeadBytes);
  file.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
  return head;
}

// Hands the typefinders pieces of the head that GstreamerReferencingType
// hung on `holder`, as a source in pull mode hands them pieces of the file
// (some typefinders, those of XML documents among them, read only so).
GstFlowReturn ReadHeadRange(GstObject* holder, GstObject*, guint64 offset, guint length, GstBuffer** buffer) {
  const auto* head = static_cast<const std::vector<guint8>*>(g_object_get_data(G_OBJECT(holder), "head"));
  if (!head || offset >= head->size()) return GST_FLOW_EOS;
  const std::size_t size = std::min<std::size_t>(length, head->size() - offset);
  *buffer = gst_buffer_new_memdup(head->data() + offset, size);
  return GST_FLOW_OK;
}

// The media type GStreamer's typefinders give `head` (the file's first
// bytes) as playbin's would, if it is a referencing one.
std::string GstreamerReferencingType(const std::vector<guint8>& head, const std::string& path) {
  if (head.empty() || !GstreamerAvailable()) return {};
  std::string extension = std::filesystem::path(path).extension().string();
  if (!extension.empty()) extension.erase(0, 1);
  GstElement* holder = gst_bin_new(nullptr);
  gst_object_ref_sink(holder);
  g_object_set_data(G_OBJECT(holder), "head", const_cast<std::vector<guint8>*>(&head));
  GstCaps* caps = nullptr;
  GstTypeFindProbability probability = GST_TYPE_FIND_NONE;
  gst_type_find_helper_get_range_full(GST_OBJECT(holder), nullptr, ReadHeadRange, head.size(),
                                      extension.empty() ? nullptr : extension.c_str(), &caps, &probability);
  gst_object_unref(holder);
  if (!caps) return {};
  std::string found;
  for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
    const std::string_view name = gst_structure_get_name(gst_caps_get_structure(caps, i));
    if (Listed(kReferencingTypes, name)) found = std::string(name);
  }
  gst_caps_unref(caps);
  return found;
}

// Every open but that of the one URL (in opaque) fails.
int OpenOnlyTheGivenUrl(AVFormatContext* format, AVIOContext** io, const char* url, int flags,
                        AVDictionary** options) {
  const auto* given = static_cast<const std::string*>(format->opaque);
  if (!given || !url || *given != url || (flags & AVIO_FLAG_WRITE) != 0) return AVERROR(EACCES);
  AVDictionary* settings = nullptr;
  if (options) av_dict_copy(&settings, *options, 0);
  av_dict_set(&settings, "protocol_whitelist", "file", 0);
  const int opened = avio_open2(io, url, flags, &format->interrupt_callback, &settings);
  av_dict_free(&settings);
  return opened;
}

bool OnlyLocalProtocols(GstElementFactory* factory) {
  const gchar* const* protocols = gst_element_factory_get_uri_protocols(factory);
  if (!protocols || !*protocols) return false;
  for (; *protocols; ++protocols) {
    if (!Listed(kLocalProtocols, *protocols)) return false;
  }
  return true;
}

// Whether a sink pad of `factory` takes one of the referencing types (pads
// that take anything at all are not readers of them: queues, sinks).
bool ReadsReferencingFiles(GstElementFactory* factory, GstCaps* referencing) {
  for (const GList* item = gst_element_factory_get_static_pad_templates(factory); item; item = item->next) {
    auto* pad = static_cast<GstStaticPadTemplate*>(item->data);
    if (pad->direction != GST_PAD_SINK) continue;
    GstCaps* caps = gst_static_caps_get(&pad->static_caps);
    const bool reads = caps && !gst_caps_is_any(caps) && gst_caps_can_intersect(caps, referencing);
    if (caps) gst_caps_unref(caps);
    if (reads) return true;
  }
  return false;
}

}  // namespace

bool OpensOtherFiles(const AVInputFormat* format) {
  return !format || !format->name || Listed(kReferencingDemuxers, format->name);
}

const AVInputFormat* ProbeLibavContainer(const std::string& url) {
  // Damaged and unusual files are common; libav's notes on them (printed to
  // the terminal by default) are no use to the user of a player.
  static const bool quiet = [] {
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
    return true;
  }();
  (void)quiet;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  AVIOContext* io = nullptr;
  const int opened = avio_open2(&io, url.c_str(), AVIO_FLAG_READ, nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) return nullptr;
  const AVInputFormat* format = nullptr;
  if (av_probe_input_buffer2(io, &format, url.c_str(), nullptr, 0, 0) < 0) format = nullptr;
  avio_closep(&io);
  return format;
}

void ConfineLibavToUrl(AVFormatContext* format, const std::string& url) {
  format->opaque = const_cast<std::string*>(&url);
  format->io_open = OpenOnlyTheGivenUrl;
}

std::string ReferencingContent(const std::string& path) {
  const std::vector<guint8> head = ReadHead(path);
  if (head.empty()) return {};
  std::string type = GstreamerReferencingType(head, path);
  if (!type.empty()) return type;
  const AVInputFormat* format = ProbeLibavContainer("file:" + path);
  if (format && OpensOtherFiles(format)) return format->name;
  return {};
}

void KeepGstreamerToLocalFiles() {
  GstCaps* referencing = gst_caps_new_empty();
  for (const std::string_view type : kReferencingTypes) {
    gst_caps_append_structure(referencing, gst_structure_new_empty(std::string(type).c_str()));
  }
  GList* factories = gst_registry_get_feature_list(gst_registry_get(), GST_TYPE_ELEMENT_FACTORY);
  for (GList* item = factories; item; item = item->next) {
    auto* factory = GST_ELEMENT_FACTORY(item->data);
    const bool remoteSource =
        gst_element_factory_get_uri_type(factory) == GST_URI_SRC && !OnlyLocalProtocols(factory);
    if (remoteSource || ReadsReferencingFiles(factory, referencing)) {
      gst_plugin_feature_set_rank(GST_PLUGIN_FEATURE(factory), GST_RANK_NONE);
    }
  }
  gst_plugin_feature_list_free(factories);
  gst_caps_unref(referencing);
}

}  // namespace qorve
