// The one generic writer of request envelopes: walks an operation's tables over its argument record.
#pragma once

#include "soap/descriptors.h"
#include "soap/result_code.h"
#include "soap/write_stream.h"

// Writes the whole envelope for `operation` with the values in `record`.
// `headerSet` may be null (no header entries). The first failing write stops generation.
HResult GenerateRequest(const OperationDescriptor& operation, const OperationDescriptor* headerSet,
                        const void* record, IWriteStream* out);
