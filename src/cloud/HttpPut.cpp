#include "cloud/HttpPut.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>

#include "platform/AtomicFile.h"
#include "util/Error.h"

namespace velkor {

namespace {

// libcurl keeps at most this much of the body in memory at a time.
constexpr long UploadBufferSize = 1 << 20;

struct TEasyFree {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct TListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct TTransfer {
  const THttpPutRequest* Request = nullptr;
  int64_t Sent = 0;
  std::string Failure;  // why the body could not be read; set before the transfer is aborted
  std::string Response;
};

size_t ReadBody(char* buffer, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<TTransfer*>(user);
  const THttpPutRequest& request = *transfer.Request;
  const int64_t remaining = request.BodySize - transfer.Sent;
  if (remaining <= 0) return 0;
  const size_t wanted = static_cast<size_t>(std::min<int64_t>(remaining, static_cast<int64_t>(size * count)));
  ssize_t n;
  do n = ::read(request.BodyFd, buffer, wanted);
  while (n < 0 && errno == EINTR);
  if (n < 0) {
    transfer.Failure =
        "Cloud upload için dosya okunamadı: " + request.BodyPath + " (" + SystemErrorMessage(errno) + ")";
    return CURL_READFUNC_ABORT;
  }
  if (n == 0) {
    transfer.Failure = "Cloud upload sırasında dosya kısaldı: " + request.BodyPath;
    return CURL_READFUNC_ABORT;
  }
  transfer.Sent += n;
  if (request.OnProgress) request.OnProgress(transfer.Sent);
  return static_cast<size_t>(n);
}

int CheckCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto& transfer = *static_cast<TTransfer*>(user);
  if (!transfer.Request->ShouldCancel || !transfer.Request->ShouldCancel()) return 0;
  transfer.Failure = UploadCancelledMessage;
  return 1;
}

size_t KeepResponse(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<TTransfer*>(user);
  const size_t bytes = size * count;
  const size_t room = MaxResponseBody - std::min(MaxResponseBody, transfer.Response.size());
  transfer.Response.append(data, std::min(bytes, room));
  return bytes;
}

// The URL's host and port, without any user name or password written into it.
std::string HostOf(const std::string& url) {
  std::string host = url;
  const size_t scheme = host.find("://");
  if (scheme != std::string::npos) host.erase(0, scheme + 3);
  host.erase(std::min(host.find('/'), host.size()));
  const size_t at = host.rfind('@');
  if (at != std::string::npos) host.erase(0, at + 1);
  return host;
}

std::string TransportMessage(CURLcode code, const std::string& host) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST: return "Cloud sunucusunun adresi çözülemedi: " + host;
    case CURLE_COULDNT_CONNECT: return "Cloud sunucusuna bağlanılamadı: " + host;
    case CURLE_OPERATION_TIMEDOUT: return "Cloud sunucusu zamanında yanıt vermedi: " + host;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR: return "Cloud sunucusuyla güvenli bağlantı kurulamadı: " + host;
    default: return "Cloud upload bağlantı hatası: " + host;
  }
}

void Check(CURLcode code) {
  if (code != CURLE_OK) throw EVelkorError(std::string("Cloud upload hazırlanamadı: ") + curl_easy_strerror(code));
}

}  // namespace

THttpPutResponse HttpPutFile(const THttpPutRequest& request) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  std::unique_ptr<CURL, TEasyFree> curl(curl_easy_init());
  if (!curl) throw EVelkorError("Cloud upload hazırlanamadı: libcurl başlatılamadı.");
  std::unique_ptr<curl_slist, TListFree> headers;
  auto append = [&headers](const std::string& line) {
    curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
    if (grown == nullptr) throw EVelkorError("Cloud upload hazırlanamadı: bellek yetersiz.");
    (void)headers.release();
    headers.reset(grown);
  };
  for (const std::string& line : request.Headers) append(line);
  // Headers libcurl would add on its own: none of them is part of the request.
  append("Accept:");
  append("Expect:");

  TTransfer transfer;
  transfer.Request = &request;
  char error[CURL_ERROR_SIZE] = {};
  CURL* c = curl.get();
  Check(curl_easy_setopt(c, CURLOPT_URL, request.Url.c_str()));
  Check(curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https"));
  Check(curl_easy_setopt(c, CURLOPT_UPLOAD, 1L));
  Check(curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.BodySize)));
  Check(curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadBody));
  Check(curl_easy_setopt(c, CURLOPT_READDATA, &transfer));
  Check(curl_easy_setopt(c, CURLOPT_UPLOAD_BUFFERSIZE, UploadBufferSize));
  Check(curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, KeepResponse));
  Check(curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer));
  Check(curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get()));
  Check(curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, request.ConnectTimeoutMs));
  Check(curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L));
  Check(curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, request.StallTimeoutSeconds));
  Check(curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L));
  if (request.ShouldCancel) {
    Check(curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, CheckCancel));
    Check(curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer));
    Check(curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L));
  }
  Check(curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error));

  const CURLcode code = curl_easy_perform(c);
  if (!transfer.Failure.empty()) throw EVelkorError(transfer.Failure);
  if (code != CURLE_OK) {
    const std::string detail = error[0] != '\0' ? std::string(error) : std::string(curl_easy_strerror(code));
    throw EVelkorError(TransportMessage(code, HostOf(request.Url)) + " (" + detail + ")");
  }
  THttpPutResponse response;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.Status);
  response.Body = std::move(transfer.Response);
  return response;
}

}  // namespace velkor
