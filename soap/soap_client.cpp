#include "soap/soap_client.h"

#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

#include "soap/fault_parser.h"

namespace {

constexpr size_t kMaxEndpointLength = 2083;
constexpr uint32_t kDefaultTimeoutMs = 10000;

const char* const kClientErrorNames[] = {
    "Success",    "ReaderSetupFailed", "ArgumentSetupFailed", "GenerateFailed", "ConnectFailed", "SendFailed",
    "ServerStatus", "SoapFault",       "FaultParseFailed",    "ReadFailed",     "ParseFailed",
};

}  // namespace

const char* ClientErrorName(ClientErrorCode code) {
  const int i = static_cast<int>(code);
  if (i < 0 || i >= static_cast<int>(sizeof kClientErrorNames / sizeof kClientErrorNames[0])) return "Unknown";
  return kClientErrorNames[i];
}

CSoapClient::CSoapClient(const std::u16string& endpointUrl) : m_endpointText(endpointUrl) {
  m_endpointValid = endpointUrl.size() <= kMaxEndpointLength && m_endpoint.Parse(endpointUrl);
  if (m_endpointValid && m_endpoint.port == 0) m_endpoint.port = 80;
}

CSoapClient::~CSoapClient() = default;

void CSoapClient::SetStopSignal(const CStopSignal* signal) {
  m_stop = signal;
  m_http.SetStopSignal(signal);
}

HResult CSoapClient::RunCall(CSoapHandler& handler, int index, void* record, const char16_t* soapActionLine) {
  m_wasStopped = false;
  m_clientError = ClientErrorCode::Success;
  m_stepError = ClientErrorCode::ReaderSetupFailed;
  HResult hr = kE_FAIL;
  try {
    hr = RunSteps(handler, index, record, soapActionLine);
  } catch (const std::bad_alloc&) {
    hr = kE_OUTOFMEMORY;
  } catch (const std::length_error&) {
    hr = kE_OUTOFMEMORY;
  } catch (...) {
    hr = kE_FAIL;
  }
  // A step that failed without naming the reason itself failed as a step of its kind.
  if (Failed(hr) && m_clientError == ClientErrorCode::Success) m_clientError = m_stepError;
  // After a failed allocation part of an answer may still be on its way: the next call must not
  // read it.
  if (hr == kE_OUTOFMEMORY) m_http.Close();
  return hr;
}

HResult CSoapClient::RunSteps(CSoapHandler& handler, int index, void* record, const char16_t* soapActionLine) {
  // Each step names the client error its failure stands for; RunCall sets it.
  if (!m_reader) {
    HResult hr = CSaxReader::Create(&m_reader);
    if (Failed(hr)) return hr;
  }
  HResult hr = m_reader->SetContentHandler(&handler);
  if (Failed(hr)) return hr;

  m_requestBody.Clear();
  m_fault.Clear();

  m_stepError = ClientErrorCode::ArgumentSetupFailed;
  hr = handler.BeginCall(index, record);
  if (Failed(hr)) return hr;
  // With the stop raised the post fails at once; a large envelope would only delay that.
  if (m_stop == nullptr || !m_stop->Raised()) {
    m_stepError = ClientErrorCode::GenerateFailed;
    hr = handler.GenerateRequest(&m_requestBody);
    // The body length travels as a 32-bit count.
    if (Succeeded(hr) && m_requestBody.Data().size() > std::numeric_limits<uint32_t>::max()) hr = kE_OUTOFMEMORY;
    if (Failed(hr)) return hr;
  }

  // The post names its own failures (SendFailed, ServerStatus, SoapFault and the rest).
  m_stepError = ClientErrorCode::SendFailed;
  hr = Post(soapActionLine);
  if (Failed(hr)) return hr;

  m_stepError = ClientErrorCode::ParseFailed;
  handler.ReleaseResults();
  // A one-way (202) answer carries nothing to read; never parse what an earlier call left.
  if (!m_response) return kE_FAIL;
  hr = handler.ParseResponse(m_reader.get(), m_response, m_responseLength);
  if (Failed(hr)) {
    handler.ReleaseResults();
    return hr;
  }
  return kS_OK;
}

void CSoapClient::FinishCall(CSoapHandler& handler, void* record, size_t recordSize) {
  handler.ReleaseResults();
  handler.EndCall();
  std::memset(record, 0, recordSize);
  m_response = nullptr;
  m_responseLength = 0;
}

HResult CSoapClient::Post(const char16_t* soapActionLine) {
  m_response = nullptr;
  m_responseLength = 0;
  HttpRequestSettings settings;
  settings.extraHeaders = soapActionLine;
  settings.extraHeaders += u"Accept: text/xml\r\n";
  settings.method = u"POST";
  settings.contentType = u"text/xml; charset=utf-8";
  settings.body = m_requestBody.Data().data();
  settings.bodyLength = static_cast<uint32_t>(m_requestBody.Data().size());
  settings.port = m_endpointValid ? m_endpoint.port : 80;
  settings.flags = kHttpFollowRedirects | kHttpJudgeStatus | kHttpSendBlocks;
  settings.sendBlockSize = 4096;
  settings.readBlockSize = 4096;
  settings.timeout = m_timeout != 0 ? m_timeout : kDefaultTimeoutMs;
  settings.deadline = m_callDeadline;

  const bool ok = m_endpointValid && m_http.Exchange(m_endpointText, &settings);
  const int status = m_http.StatusCode();
  if (ok) {
    if (status == 200) {
      if (m_http.BodyLength() == 0) {
        m_clientError = ClientErrorCode::ReadFailed;
        return kE_FAIL;
      }
      m_response = m_http.Body();
      m_responseLength = m_http.BodyLength();
      return kS_OK;
    }
    if (status == 202) return kS_OK;
    m_clientError = ClientErrorCode::ServerStatus;
    return kE_FAIL;
  }
  if (m_http.LastError() == kSockErrNoMemory) {
    m_clientError = ClientErrorCode::SendFailed;
    return kE_OUTOFMEMORY;
  }
  m_wasStopped = m_http.LastError() == kSockErrInterrupted;
  if (status == 500 && !m_wasStopped) {
    m_clientError = ClientErrorCode::SoapFault;
    if (m_http.BodyLength() > 0 &&
        Failed(ParseFault(m_reader.get(), m_http.Body(), m_http.BodyLength(), &m_fault))) {
      m_clientError = ClientErrorCode::FaultParseFailed;
    }
    return kE_FAIL;
  }
  m_clientError = ClientErrorCode::SendFailed;
  return kE_FAIL;
}
