// A parsed SOAP 1.1 fault.
#pragma once

#include <cstdint>
#include <string>

enum SoapFaultCode : int32_t {
  kFaultNone = 0,
  kFaultVersionMismatch = 100,
  kFaultMustUnderstand = 200,
  kFaultClient = 300,
  kFaultServer = 400,
};

struct SoapFaultInfo {
  int32_t code = kFaultNone;
  std::u16string codeText;     // the part of faultcode after its colon
  std::u16string faultString;
  std::u16string faultActor;
  std::u16string detail;       // markup included

  void Clear() { *this = SoapFaultInfo{}; }
};
