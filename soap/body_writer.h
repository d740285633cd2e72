// The markup around the values of a request body: how the body, the wrapper and each entry
// start, by call style.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "soap/descriptors.h"
#include "soap/result_code.h"
#include "soap/write_stream.h"

// Writes markup to a stream and keeps the first failure: once a write has failed, every later
// write is dropped and Status() returns that failure.
class CXmlOut {
 public:
  explicit CXmlOut(IWriteStream* out) : m_out(out) {}

  void Raw(std::string_view text);
  // ` name="value"`; & < > and " in the value are written as entities.
  void Attribute(std::string_view name, std::string_view value);
  // Records the outcome of a value writer that wrote to Stream() directly.
  void Check(HResult hr) {
    if (Succeeded(m_hr) && Failed(hr)) m_hr = hr;
  }
  void Fail(HResult hr) { Check(hr); }

  IWriteStream* Stream() const { return m_out; }
  bool Ok() const { return Succeeded(m_hr); }
  HResult Status() const { return m_hr; }

 private:
  IWriteStream* m_out;
  HResult m_hr = kS_OK;
};

// Text of a table field given with its length: null text counts as empty; a negative length,
// or a length with null text, is a broken table.
bool TableText(const char* text, int32_t length, std::string_view* out);

class CBodyWriter {
 public:
  virtual ~CBodyWriter() = default;

  // "<soap:Body>".
  virtual void StartBody(CXmlOut* out) const;
  virtual void StartWrapper(const OperationDescriptor& operation, CXmlOut* out) const = 0;
  virtual void EndWrapper(const OperationDescriptor& operation, CXmlOut* out) const = 0;
  // "<" + the element name (or "return") with the entry's attributes; the caller closes the tag.
  // `operation` is the table the entry belongs to.
  virtual void StartEntry(const OperationDescriptor& operation, const ParameterDescriptor& entry,
                          CXmlOut* out) const;

  // "</" + the same element name as StartEntry + ">".
  void EndEntry(const ParameterDescriptor& entry, CXmlOut* out) const;

  // The writer for a call style: rpc/encoded, wrapped, or bare for other document styles.
  // Null for a style none of them writes (rpc/literal without Wrapped).
  static const CBodyWriter* ForCallStyle(uint32_t callStyle);
};

// Document/literal: the wrapper is the request element with the namespace as default namespace.
class CDocLiteralWriter : public CBodyWriter {
 public:
  void StartWrapper(const OperationDescriptor& operation, CXmlOut* out) const override;
  void EndWrapper(const OperationDescriptor& operation, CXmlOut* out) const override;
};

// Parameters inside one wrapper element named after the operation.
class CWrappedWriter : public CDocLiteralWriter {};

// Each top-level parameter carries the namespace as its default namespace.
class CBareWriter : public CDocLiteralWriter {
 public:
  void StartEntry(const OperationDescriptor& operation, const ParameterDescriptor& entry,
                  CXmlOut* out) const override;
};

// Rpc/encoded: the body names the encoding style, the wrapper is "snp:" + name.
class CRpcEncodedWriter : public CBodyWriter {
 public:
  void StartBody(CXmlOut* out) const override;
  void StartWrapper(const OperationDescriptor& operation, CXmlOut* out) const override;
  void EndWrapper(const OperationDescriptor& operation, CXmlOut* out) const override;
};

inline bool IsRpcEncoded(uint32_t callStyle) {
  return (callStyle & kSoapRpc) != 0 && (callStyle & kSoapEncoded) != 0;
}
