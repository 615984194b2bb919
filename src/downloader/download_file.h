// HTTP downloads through libcurl: the stand-in for the WinINet handle and the
// download loop of the installer. Called on the worker thread only.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace qorve {

// An open "internet handle". Null when the network library cannot start, in
// which case every download through it fails.
struct InternetHandle;
using InternetHandlePtr = std::unique_ptr<InternetHandle, void (*)(InternetHandle*)>;
InternetHandlePtr OpenInternet();

enum DownloadResult : int {
  kDownloadDone = 0,
  kDownloadNoHandle = 1,
  // the URL could not be opened, answered an error, broke off or went past its
  // limit, or the file could not be written
  kDownloadFailed = 2,
};

// The most a download may bring by default: an archiver library's archive is
// well below a megabyte, and a hostile host must not fill the disk.
constexpr uint64_t kDownloadLimit = uint64_t{16} << 20;

// Fetches `url` into `localFile` (created anew). `total` receives the content
// length (0 when not sent) and `received` counts the bytes written; both may
// be null. `cancel`, when given and set, breaks the transfer off. A body
// longer than `limit` bytes fails, announced or not, as soon as the limit is
// passed. A failed download leaves no local file. Connections that stall for
// a minute fail.
int DownloadFile(const InternetHandle* handle, const std::string& url, const std::filesystem::path& localFile,
                 std::atomic<uint64_t>* total = nullptr, std::atomic<uint64_t>* received = nullptr,
                 const std::atomic<bool>* cancel = nullptr, uint64_t limit = kDownloadLimit);

// Percent-encodes the bytes of a file name that may not stand in a URL path.
std::string EscapeUrlPathPart(const std::string& name);

}  // namespace qorve
