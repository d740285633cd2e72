// Reads a SOAP 1.1 fault (the body of a status 500 answer) into a fault record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "soap/element_skipper.h"
#include "soap/sax_handler_base.h"
#include "soap/soap_fault.h"
#include "soap/text_collector.h"

class CFaultParser : public CSaxHandlerBase {
 public:
  // Clears `fault`, parses the body with this parser as the reader's content handler and removes
  // it afterwards. With no reader given, one is created for this parse (on Windows COM must be
  // initialised). What was read before a failure stays in the record.
  HResult Parse(CSaxReader* reader, const char* data, size_t length, SoapFaultInfo* fault);

  HResult StartDocument() override;
  HResult StartPrefixMapping(std::u16string_view prefix, std::u16string_view uri) override;
  HResult StartElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName,
                       const ISaxAttributes& attributes) override;
  HResult EndElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName) override;
  HResult Characters(std::u16string_view text) override;

 private:
  HResult ReadFaultCode(std::u16string_view text);

  CSaxReader* m_reader = nullptr;
  SoapFaultInfo* m_fault = nullptr;
  std::u16string m_envelopePrefix;
  bool m_prefixKnown = false;
  uint32_t m_level = 0;     // the highest envelope level entered (Envelope 1, Body and Header 2, Fault 4)
  uint32_t m_read = 0;      // the fault fields read so far, by level bit
  uint32_t m_gathering = 0;  // the field whose text the collector is gathering
  CTextCollector m_collector;
  CElementSkipper m_skipper;
};

HResult ParseFault(CSaxReader* reader, const char* data, size_t length, SoapFaultInfo* fault);
