#include "soap/descriptors.h"

// Type codes index this table; its order is fixed by the wire contract.
const char* const kXsdTypeNames[44] = {
    "string",           "boolean",          "float",         "double",        "decimal",
    "duration",         "hexBinary",        "base64Binary",  "anyURI",        "ID",
    "IDREF",            "ENTITY",           "NOTATION",      "QName",         "normalizedString",
    "token",            "language",         "IDREFS",        "ENTITIES",      "NMTOKEN",
    "NMTOKENS",         "Name",             "NCName",        "integer",       "nonPositiveInteger",
    "negativeInteger",  "long",             "int",           "short",         "byte",
    "nonNegativeInteger", "unsignedLong",   "unsignedInt",   "unsignedShort", "unsignedByte",
    "positiveInteger",  "dateTime",         "time",          "date",          "gMonth",
    "gYearMonth",       "gYear",            "gMonthDay",     "gDay",
};
