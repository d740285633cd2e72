#include "services/upload_service.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/services/service_test_util.h"
#include "tests/support/scripted_server.h"

namespace {

using namespace servicetest;

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 1);
  return v;
}

std::string UploadRequest(int port, const std::string& elements) {
  return Request("/WebService/Upload.asmx", "UploadFile", RequestBody("UploadFile", elements), port);
}

// Base64 of Bytes(57): exactly one full line.
const std::string kLine57 = "AQgPFh0kKzI5QEdOVVxjanF4f4aNlJuiqbC3vsXM09rh6O/2/QQLEhkgJy41PENKUVhfZm10e4KJ";

TEST(UploadWire, PiecesOfZero57_58And60Bytes) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("UploadFile", "true"))));
  Upload::CUploadT client(server.Host());
  const std::pair<size_t, std::string> cases[] = {
      {0, ""}, {57, kLine57 + "\r\n"}, {58, kLine57 + "\r\nkA=="}, {60, kLine57 + "\r\nkJee"}};
  for (size_t i = 0; i < 4; ++i) {
    const auto& [size, text] = cases[i];
    const std::vector<uint8_t> bytes = Bytes(size);
    static const uint8_t kNone = 0;
    const bool last = size == 0;
    bool ok = false;
    ASSERT_EQ(client.UploadFile(size ? bytes.data() : &kNone, static_cast<uint32_t>(size), u"3.jpg", u"200815349.jpg",
                                last, u"张u", &ok),
              0);
    EXPECT_TRUE(ok);
    ASSERT_EQ(server.Requests().size(), i + 1);
    EXPECT_EQ(server.Requests()[i],
              UploadRequest(server.Port(), "<TempBytes>" + text + "</TempBytes><strTempFileName>3.jpg</strTempFileName>"
                                           "<FileName>200815349.jpg</FileName><isCompleted>" +
                                               (last ? "true" : "false") +
                                               "</isCompleted><userName>&#x5F20;u</userName>"))
        << size;
  }
  EXPECT_EQ(server.Connections(), 1);
}

TEST(UploadWire, NullPieceAndNamesAreNilAndFalseIsAnAnswer) {
  ScriptedServer server(ScriptedServer::Reply(Http("200 OK", Result("UploadFile", "false"))));
  Upload::CUploadT client(server.Host());
  bool ok = true;
  ASSERT_EQ(client.UploadFile(nullptr, 5, nullptr, nullptr, false, nullptr, &ok), 0);
  EXPECT_FALSE(ok);
  EXPECT_EQ(server.Requests()[0],
            UploadRequest(server.Port(), "<TempBytes xsi:nil=\"1\"/><strTempFileName xsi:nil=\"1\"/><FileName "
                                         "xsi:nil=\"1\"/><isCompleted>false</isCompleted><userName xsi:nil=\"1\"/>"));
}

}  // namespace
