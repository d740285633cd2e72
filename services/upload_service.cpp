#include "services/upload_service.h"

#include <cstddef>

#include "services/service_host.h"
#include "services/service_tables.h"

namespace Upload {
namespace {

using namespace service_tables;

const ParameterDescriptor kUploadFileEntries[] = {
    Entry("TempBytes", u"TempBytes", kXsdBase64Binary, kInput, offsetof(UploadFileRecord, TempBytes)),
    Entry("strTempFileName", u"strTempFileName", kXsdString, kInput, offsetof(UploadFileRecord, strTempFileName)),
    Entry("FileName", u"FileName", kXsdString, kInput, offsetof(UploadFileRecord, FileName)),
    Entry("isCompleted", u"isCompleted", kXsdBoolean, kSoapIn | kStyle, offsetof(UploadFileRecord, isCompleted)),
    Entry("userName", u"userName", kXsdString, kInput, offsetof(UploadFileRecord, userName)),
    Entry("UploadFileResult", u"UploadFileResult", kXsdBoolean, kResult, offsetof(UploadFileRecord, UploadFileResult)),
    kEnd,
};

const OperationDescriptor kOperation =
    Operation("UploadFile", u"UploadFileResponse", "UploadFileResponse", kUploadFileEntries, sizeof(UploadFileRecord));
const OperationDescriptor kHeaderSet = HeaderSet("UploadFile", u"UploadFileResponse", "UploadFileResponse");

}  // namespace

CUploadT::CUploadT() : CUploadT(DefaultServiceHost()) {}

CUploadT::CUploadT(const std::u16string& host) : CSoapClient(ServiceUrl(host, kPath)) { SetClientMode(true); }

const OperationDescriptor* CUploadT::OperationTable(int index) const { return index == 0 ? &kOperation : nullptr; }

const OperationDescriptor* CUploadT::HeaderTable(int index) const { return index == 0 ? &kHeaderSet : nullptr; }

int32_t CUploadT::UploadFile(const uint8_t* bytes, uint32_t size, const char16_t* strTempFileName,
                             const char16_t* FileName, bool isCompleted, const char16_t* userName, bool* result) {
  if (!result) return kE_POINTER;
  UploadFileRecord record{};
  record.TempBytes = SoapBlob{bytes ? size : 0, bytes};
  record.strTempFileName = SoapStringOf(strTempFileName);
  record.FileName = SoapStringOf(FileName);
  record.isCompleted = isCompleted ? 1 : 0;
  record.userName = SoapStringOf(userName);
  return Invoke(*this, kUploadFile, &record, sizeof record, FOTREL_SOAP_ACTION(u"UploadFile"),
                [&] { *result = record.UploadFileResult != 0; });
}

}  // namespace Upload
