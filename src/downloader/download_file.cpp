#include "downloader/download_file.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>


namespace qorve {

struct InternetHandle {
  bool open = true;
};

namespace {

constexpr long kConnectTimeoutSeconds = 30;
constexpr long kStallSeconds = 60;
constexpr const char* kAgent = "Mozilla/4.0";

bool StartCurl() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] { started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return started;
}

struct Transfer {
  std::FILE* file = nullptr;
  std::atomic<uint64_t>* total = nullptr;
  std::atomic<uint64_t>* received = nullptr;
  const std::atomic<bool>* cancel = nullptr;
  CURL* curl = nullptr;
  uint64_t limit = 0;
  uint64_t written = 0;
  bool lengthTaken = false;
  bool writeFailed = false;
};

size_t WriteChunk(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  if (!t->lengthTaken) {
    t->lengthTaken = true;
    curl_off_t length = -1;
    curl_easy_getinfo(t->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (t->total) *t->total = length > 0 ? static_cast<uint64_t>(length) : 0;
  }
  if (bytes > t->limit - t->written) {  // a body without a true length may go on for ever
    t->writeFailed = true;
    return 0;
  }
  if (std::fwrite(data, 1, bytes, t->file) != bytes) {
    t->writeFailed = true;
    return 0;
  }
  t->written += bytes;
  if (t->received) *t->received += bytes;
  return bytes;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(user);
  return t->cancel && t->cancel->load() ? 1 : 0;
}

}  // namespace

InternetHandlePtr OpenInternet() {
  auto close = [](InternetHandle* h) { delete h; };
  if (!StartCurl()) return InternetHandlePtr(nullptr, close);
  return InternetHandlePtr(new InternetHandle, close);
}

int DownloadFile(const InternetHandle* handle, const std::string& url, const std::filesystem::path& localFile,
                 std::atomic<uint64_t>* total, std::atomic<uint64_t>* received, const std::atomic<bool>* cancel,
                 uint64_t limit) {
  if (!handle || !handle->open) return kDownloadNoHandle;
  CURL* curl = curl_easy_init();
  if (!curl) return kDownloadFailed;
  if (total) *total = 0;
  if (received) *received = 0;
  Transfer transfer{nullptr, total, received, cancel, curl, limit};
  transfer.file = std::fopen(localFile.c_str(), "wb");
  if (!transfer.file) {
    curl_easy_cleanup(curl);
    return kDownloadFailed;
  }
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kAgent);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");  // direct access
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);  // an error page is no download
  // An announced length above the limit fails before any byte is written.
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(std::min<uint64_t>(limit, INT64_MAX)));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteChunk);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

  // The transfer is driven in steps so that the received counter moves while
  // the dialog watches and a cancel is noticed between steps.
  CURLM* multi = curl_multi_init();
  CURLcode code = CURLE_FAILED_INIT;
  if (multi && curl_multi_add_handle(multi, curl) == CURLM_OK) {
    int running = 1;
    while (running > 0) {
      if (curl_multi_perform(multi, &running) != CURLM_OK) break;
      if (running > 0) curl_multi_poll(multi, nullptr, 0, 1, nullptr);
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == curl) code = message->data.result;
    }
    curl_multi_remove_handle(multi, curl);
  }
  if (multi) curl_multi_cleanup(multi);
  curl_easy_cleanup(curl);
  const bool closed = std::fclose(transfer.file) == 0;
  if (code != CURLE_OK || transfer.writeFailed || !closed) {
    std::error_code ignored;
    std::filesystem::remove(localFile, ignored);
    return kDownloadFailed;
  }
  return kDownloadDone;
}

std::string EscapeUrlPathPart(const std::string& name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.' || c == '~' || c == '+' || c == '!' || c == '(' ||
                       c == ')' || c == ',' || c == '=' || c == '@';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace qorve
