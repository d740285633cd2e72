// The synchronous call sequence shared by every service client: set up the reader, write the
// envelope, post it, read the response or the fault, copy the result out, clean up.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/http_client.h"
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
