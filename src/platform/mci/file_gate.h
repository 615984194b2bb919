// What the MCI devices may read: the file they are given and nothing else.
// Files that name other files or network addresses (streaming manifests,
// playlists, session descriptions, concatenation lists) are recognised by
// their first bytes and refused before a demultiplexer sees them; GStreamer's
// network sources and its readers of such files are never chosen; libavformat
// opens nothing beyond the one path.
#pragma once

#include <string>

struct AVFormatContext;
struct AVInputFormat;

namespace qorve {

// The kind of `path`, by its first bytes as GStreamer's typefinders and
// libavformat's probe see them (a MIME type such as "application/x-hls", or
// libavformat's demultiplexer name such as "concat"), when it is a file that
// names other files or addresses; "" for every other file, and for one that
// cannot be read.
std::string ReferencingContent(const std::string& path);

// Whether libavformat's demultiplexer `format` opens further files or
// addresses named inside the file it reads or beside it (HLS, DASH, concat
// lists, SDP, image sequences, IMF, VobSub, metadata files); a missing format
// counts as such.
bool OpensOtherFiles(const AVInputFormat* format);

// The demultiplexer libavformat chooses for `url` ("file:" and a path) from
// its first bytes, as avformat_open_input would; null when none takes it.
const AVInputFormat* ProbeLibavContainer(const std::string& url);

// Makes every open that the demultiplexers of `format` ask for other than
// the first, of `url` itself, fail: nested playlists, segments, sibling files
// and data references stay closed. `format` is allocated and not yet opened;
// `url` must outlive it.
void ConfineLibavToUrl(AVFormatContext* format, const std::string& url);

// Sets GStreamer's network sources (every URI source but the local file, the
// CD and the application's own) and the elements that read referencing files
// to rank none, so that playbin never plugs them in. Called once, after
// gst_init.
void KeepGstreamerToLocalFiles();

}  // namespace qorve
