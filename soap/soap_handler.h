// The root response handler and the home of a service's operation tables. Every service client
// derives from it (and from CSoapClient), and names its tables by operation index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "soap/descriptors.h"
#include "soap/result_code.h"
#include "soap/sax.h"
#include "soap/write_stream.h"

class CSoapHandler : public ISaxHandler {
 public:
  CSoapHandler();
  virtual ~CSoapHandler();
  CSoapHandler(const CSoapHandler&) = delete;
  CSoapHandler& operator=(const CSoapHandler&) = delete;

  // The service's tables by operation index; null when there is none.
  virtual const OperationDescriptor* OperationTable(int index) const = 0;
  virtual const OperationDescriptor* HeaderTable(int index) const = 0;

  // Marks this handler as the root handler of a client (set at client construction).
  void SetClientMode(bool client) { m_clientMode = client; }

  // Makes `record` the current argument record of operation `index` and opens its value
  // context. Failure: no table, or the context cannot be set up.
  HResult BeginCall(int index, void* record);
  // Writes the request envelope for the current operation and record.
  HResult GenerateRequest(IWriteStream* out);
  // Parses a response body into the current record: the reader gets this handler as its
  // content handler. Success needs the reader to succeed and every multi-reference resolved.
  HResult ParseResponse(CSaxReader* reader, const char* data, size_t length);
  // Frees every value a parse stored in the current record (strings, blobs) and zeroes them.
  void ReleaseResults();
  // Closes the value contexts and forgets the record.
  void EndCall();

  // ISaxHandler
  HResult StartDocument() override;
  HResult StartElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName,
                       const ISaxAttributes& attributes) override;
  HResult EndElement(std::u16string_view uri, std::u16string_view localName, std::u16string_view qName) override;
  HResult Characters(std::u16string_view text) override;

 private:
  struct State;  // parse state, value contexts, multi-reference table, allocations
  std::unique_ptr<State> m_state;
  bool m_clientMode = false;
};
