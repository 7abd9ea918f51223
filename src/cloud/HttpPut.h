#pragma once
// One HTTP PUT whose body is read from an open file while it is sent, over libcurl. Only the given headers and
// Content-Length go on the wire: libcurl's own Accept and "Expect: 100-continue" are switched off, and the body
// has a known length, so it is never chunked.
//
// Waiting is bounded without cutting off a long upload: the connection must be made within the connect timeout,
// and the transfer ends when no byte moves either way for the stall timeout (also while the server is silent
// after the body). Used by one thread at a time; transport failures throw EVelkorError in Turkish.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velkor {

struct THttpPutRequest {
  std::string Url;
  std::vector<std::string> Headers;  // "Name: value", sent in this order
  int BodyFd = -1;                   // read from its current position
  int64_t BodySize = 0;              // exactly this many bytes are sent
  std::string BodyPath;              // names the file in messages
  // The body bytes handed to the connection so far, after each block.
  std::function<void(int64_t sent)> OnProgress;
  // Polled while the request is under way, also while the server is silent; true ends it with
  // UploadCancelledMessage.
  std::function<bool()> ShouldCancel;
  long ConnectTimeoutMs = 15000;
  long StallTimeoutSeconds = 600;
};

struct THttpPutResponse {
  long Status = 0;
  std::string Body;  // the start of the answer, at most MaxResponseBody bytes
};

inline constexpr size_t MaxResponseBody = 16 * 1024;
inline constexpr char UploadCancelledMessage[] = "Cloud upload iptal edildi.";

// Sends the request and returns the server's answer whatever its status. Throws when no answer came: no
// connection, a time-out, a TLS failure, the body file failing or changing length while it is read, a cancel.
THttpPutResponse HttpPutFile(const THttpPutRequest& request);

}  // namespace velkor
