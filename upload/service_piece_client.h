// The piece client that talks to the Upload service.
#pragma once

#include <functional>
#include <string>

#include "services/upload_service.h"
#include "upload/piece_uploader.h"

class CServicePieceClient : public IPieceClient {
 public:
  // Told about every refused call while the client still exists (result code and client).
  using RefusalObserver = std::function<void(int32_t result, const Upload::CUploadT& client)>;

  explicit CServicePieceClient(const std::u16string& host, RefusalObserver observer = nullptr)
      : m_client(host), m_observer(std::move(observer)) {}

  // Each wait of a call; 0 is the transport's default.
  void SetTimeout(uint32_t milliseconds) { m_client.SetTimeout(milliseconds); }
  // A raised `signal` ends the call in flight at once as a refusal. Not owned.
  void SetStopSignal(const CStopSignal* signal) override { m_client.SetStopSignal(signal); }

  // The result code is not looked at: a transport failure, a fault and a false answer are all
  // plain refusals.
  bool UploadPiece(const uint8_t* bytes, uint32_t size, const char16_t* pieceName, const char16_t* fileName,
                   bool isCompleted, const char16_t* userName) override {
    bool accepted = false;
    const int32_t result = m_client.UploadFile(bytes, size, pieceName, fileName, isCompleted, userName, &accepted);
    if (!accepted && m_observer) m_observer(result, m_client);
    return accepted;
  }

 private:
  Upload::CUploadT m_client;
  RefusalObserver m_observer;
};
