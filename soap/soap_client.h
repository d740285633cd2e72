// The synchronous call sequence shared by every service client: set up the reader, write the
// envelope, post it, read the response or the fault, copy the result out, clean up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/http_client.h"
#include "net/stop_signal.h"
#include "net/url.h"
#include "soap/result_code.h"
#include "soap/sax.h"
#include "soap/soap_fault.h"
#include "soap/soap_handler.h"
#include "soap/write_stream.h"

enum class ClientErrorCode : int {
  Success = 0,
  ReaderSetupFailed = 1,
  ArgumentSetupFailed = 2,
  GenerateFailed = 3,
  ConnectFailed = 4,  // reserved: a failed connection shows as SendFailed
  SendFailed = 5,
  ServerStatus = 6,
  SoapFault = 7,
  FaultParseFailed = 8,
  ReadFailed = 9,
  ParseFailed = 10,
};

// "Success", "ReaderSetupFailed", ...
const char* ClientErrorName(ClientErrorCode code);

class CSoapClient {
 public:
  // The endpoint URL, e.g. "http://host:port/WebService/Passport.asmx" (at most 2083 characters).
  explicit CSoapClient(const std::u16string& endpointUrl);
  virtual ~CSoapClient();
  CSoapClient(const CSoapClient&) = delete;
  CSoapClient& operator=(const CSoapClient&) = delete;

  // The reason of the last failed call (Success after a good one).
  ClientErrorCode GetClientError() const { return m_clientError; }
  // The fault of the last call that ended with status 500.
  const SoapFaultInfo& GetFault() const { return m_fault; }
  // Bound of each wait of a call; 0 means the default of 10000 ms.
  void SetTimeout(uint32_t milliseconds) { m_timeout = milliseconds; }
  // Bound of one whole call, however the server trickles its answer (0: none).
  void SetCallDeadline(uint32_t milliseconds) { m_callDeadline = milliseconds; }
  uint32_t CallDeadline() const { return m_callDeadline; }
  // A raised `signal` (from any thread) ends the call in flight within milliseconds as a failed
  // call: E_FAIL, SendFailed, Http().LastError() kSockErrInterrupted. Not owned; null = none.
  void SetStopSignal(const CStopSignal* signal);
  // The last call ended because the stop signal was raised.
  bool WasStopped() const { return m_wasStopped; }
  const std::u16string& Endpoint() const { return m_endpointText; }
  // Drops the XML reader; the next call makes a new one. A thread that made calls releases it
  // before it leaves its COM apartment, since the reader belongs to that apartment.
  void ReleaseReader() { m_reader.reset(); }
  // The transport, for a caller that wants to look at the last exchange.
  const CHttpClient& Http() const { return m_http; }

 protected:
  // Runs one call of operation `index` of `handler` (the service client itself) over `record`,
  // whose inputs the caller has filled in. `copyResult` runs only when everything succeeded.
  // The record is zeroed before this returns.
  template <typename CopyResult>
  HResult Invoke(CSoapHandler& handler, int index, void* record, size_t recordSize, const char16_t* soapActionLine,
                 CopyResult copyResult) {
    HResult hr = RunCall(handler, index, record, soapActionLine);
    if (Succeeded(hr)) copyResult();
    FinishCall(handler, record, recordSize);
    return hr;
  }

 private:
  // No exception leaves: a failed allocation ends the call with E_OUTOFMEMORY and the client
  // error of the step it happened in, and closes the connection.
  HResult RunCall(CSoapHandler& handler, int index, void* record, const char16_t* soapActionLine);
  HResult RunSteps(CSoapHandler& handler, int index, void* record, const char16_t* soapActionLine);
  void FinishCall(CSoapHandler& handler, void* record, size_t recordSize);
  HResult Post(const char16_t* soapActionLine);

  std::u16string m_endpointText;
  CUrl m_endpoint;
  bool m_endpointValid = false;
  CHttpClient m_http;
  CStringWriteStream m_requestBody;
  // The response read by the last post: a view into the transport's buffer, never a copy.
  const char* m_response = nullptr;
  size_t m_responseLength = 0;
  ClientErrorCode m_clientError = ClientErrorCode::Success;
  // The client error an exception in the current step stands for.
  ClientErrorCode m_stepError = ClientErrorCode::Success;
  uint32_t m_timeout = 0;
  uint32_t m_callDeadline = 60000;
  const CStopSignal* m_stop = nullptr;
  bool m_wasStopped = false;
  SoapFaultInfo m_fault;
  std::unique_ptr<CSaxReader> m_reader;
};
