// The HTTP response reader over a scripted peer: any bytes, delivered in any pieces.
// Input: one byte n, then n receive sizes (0 empty, 255 failure), then the response bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/scripted_socket.h"
#include "net/http_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t n = data[0];
  if (n > size - 1) n = size - 1;
  ScriptSocket(data + 1 + n, size - 1 - n, data + 1, n);
  CHttpClient client;
  HttpRequestSettings settings;
  settings.method = u"POST";
  settings.body = "x";
  settings.bodyLength = 1;
  settings.timeout = 0;
  client.Exchange(u"http://127.0.0.1:8080/WebService/Passport.asmx", &settings);
  // Whatever the result, what stays readable must be consistent.
  volatile size_t sum = 0;
  for (size_t i = 0; i < client.BodyLength(); ++i) sum += static_cast<unsigned char>(client.Body()[i]);
  std::u16string value;
  client.GetHeader(u"content-type", &value);
  return 0;
}
