// Client of the file upload service: UploadFile sends one piece of a photo.
#pragma once

#include <cstdint>
#include <string>

#include "soap/soap_client.h"
#include "soap/soap_handler.h"
#include "soap/soap_values.h"

namespace Upload {

struct UploadFileRecord {
  SoapBlob TempBytes;
  SoapString strTempFileName;
  SoapString FileName;
  uint8_t isCompleted;
  SoapString userName;
  uint8_t UploadFileResult;
};

class CUploadT : public CSoapClient, public CSoapHandler {
 public:
  static constexpr const char16_t* kPath = u"/WebService/Upload.asmx";
  enum Operation { kUploadFile = 0 };

  CUploadT();
  explicit CUploadT(const std::u16string& host);

  // A null `bytes` pointer travels as a nil element; a zero count with a pointer as an empty one.
  int32_t UploadFile(const uint8_t* bytes, uint32_t size, const char16_t* strTempFileName, const char16_t* FileName,
                     bool isCompleted, const char16_t* userName, bool* result);

  const OperationDescriptor* OperationTable(int index) const override;
  const OperationDescriptor* HeaderTable(int index) const override;
};

}  // namespace Upload
