// The envelopes the service answers with: a result in the usual wrapped form, or a SOAP 1.1
// Fault. Both start with an XML declaration and are UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "service/envelope_reader.h"

namespace fotrel::service {

// <XResponse xmlns="NS"><XResult>value</XResult></XResponse> inside the envelope;
// `valueText` is escaped here.
std::string ResultEnvelope(std::string_view serviceNamespace, const OperationSpec& operation,
                           std::string_view valueText);
// A Fault whose faultcode is "soap:" + the code's name, "soap" being the envelope's prefix.
std::string FaultEnvelope(const Fault& fault);
const char* FaultCodeName(FaultCode code);

}  // namespace fotrel::service
