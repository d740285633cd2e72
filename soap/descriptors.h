// Constant tables that describe every operation on the wire; one generic writer and one
// generic parser walk them.
#pragma once

#include <cstdint>

enum SoapFlags : uint32_t {
  kSoapIn = 0x1,
  kSoapOut = 0x2,
  kSoapRetVal = 0x4,
  kSoapDynArray = 0x8,
  kSoapFixedArray = 0x10,
  kSoapMustUnderstand = 0x20,
  kSoapNoMarshal = 0x200,
  kSoapNullable = 0x400,
  kSoapDocument = 0x800,
  kSoapRpc = 0x1000,
  kSoapLiteral = 0x2000,
  kSoapEncoded = 0x4000,
  kSoapWrapped = 0x8000,
  kSoapBare = 0x10000,
};

// Index into the table of XML Schema type names (kXsdTypeNames).
enum SoapType : int32_t {
  kXsdNested = -1,
  kXsdString = 0,
  kXsdBoolean = 1,
  kXsdFloat = 2,
  kXsdDouble = 3,
  kXsdDecimal = 4,
  kXsdDuration = 5,
  kXsdHexBinary = 6,
  kXsdBase64Binary = 7,
  kXsdInt = 27,
};
extern const char* const kXsdTypeNames[44];

enum SoapTableKind : int32_t { kSoapOperation = 2, kSoapHeaderSet = 5 };

struct ParameterDescriptor {
  uint32_t nameHash;  // 0 ends the list
  const char* name;
  const char16_t* wname;
  int32_t nameLength;
  int32_t type;  // SoapType
  uint32_t flags;
  uint32_t offset;  // of the value in the argument record
  const int32_t* arrayDims;
  const struct OperationDescriptor* nested;
  int32_t sizeIs;
  uint32_t nsHash;
  const char* ns;
  const char16_t* wns;
  int32_t nsLength;
};

struct OperationDescriptor {
  uint32_t nameHash;  // of the response element name
  const char* requestName;
  const char16_t* responseName;
  int32_t requestNameLength;
  int32_t responseNameLength;
  int32_t kind;  // SoapTableKind
  const ParameterDescriptor* entries;
  uint32_t recordSize;
  uint32_t expectedResponseElements;
  int32_t returnValueIndex;
  uint32_t callStyle;
  uint32_t nsHash;
  const char* ns;
  const char16_t* wns;
  int32_t nsLength;
};

// h = h * 33 + c over the characters, in 32-bit arithmetic.
constexpr uint32_t SoapNameHash(const char* s) {
  uint32_t h = 0;
  while (*s) h = h * 33u + static_cast<unsigned char>(*s++);
  return h;
}
constexpr uint32_t SoapNameHash(const char16_t* s, int32_t length) {
  uint32_t h = 0;
  for (int32_t i = 0; i < length; ++i) h = h * 33u + s[i];
  return h;
}
