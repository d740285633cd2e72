#include "service/envelope_reader.h"

#include <expat.h>

#include "service/base64.h"
#include "service/names.h"

namespace fotrel::service {

namespace {

// Expat reports a qualified name as namespace URI, this separator, local name.
constexpr char kNameSeparator = '\n';
constexpr std::string_view kSoap12EnvelopeNamespace = "http://www.w3.org/2003/05/soap-envelope";
// Deeper nesting than any request needs is refused rather than tracked.
constexpr int kMaxDepth = 64;
// Longest boolean text kept (white space around the value is allowed).
constexpr size_t kMaxBooleanText = 64;

struct QName {
  std::string_view ns;
  std::string_view local;
};

QName Split(const XML_Char* name) {
  std::string_view whole(name);
  size_t at = whole.rfind(kNameSeparator);
  if (at == std::string_view::npos) return {{}, whole};
  return {whole.substr(0, at), whole.substr(at + 1)};
}

std::string Describe(QName name) {
  if (name.ns.empty()) return "'" + std::string(name.local) + "'";
  return "'{" + std::string(name.ns) + "}" + std::string(name.local) + "'";
}

bool IsWhiteSpace(const char* s, int length) {
  for (int i = 0; i < length; ++i)
    if (s[i] != ' ' && s[i] != '\t' && s[i] != '\r' && s[i] != '\n') return false;
  return true;
}

// The value of the attribute {ns}local, or null.
const XML_Char* Attribute(const XML_Char** attributes, std::string_view ns,
                          std::string_view local) {
  for (size_t i = 0; attributes[i]; i += 2) {
    QName name = Split(attributes[i]);
    if (name.ns == ns && name.local == local) return attributes[i + 1];
  }
  return nullptr;
}

enum class Stage {
  kBeforeEnvelope,
  kInEnvelope,   // before Header or Body
  kInHeader,
  kAfterHeader,  // before Body
  kInBody,       // before the wrapper
  kInWrapper,
  kAfterWrapper,  // in Body, after the wrapper
  kAfterBody,
  kDone,
};

}  // namespace

struct EnvelopeReader::Impl {
  EnvelopeReader& owner;
  XML_Parser parser = nullptr;
  std::string serviceNamespace;
  const OperationSpec& operation;
  BinarySink* sink;
  uint64_t binaryLimit;
  Stage stage = Stage::kBeforeEnvelope;
  int depth = 0;
  int skipDepth = 0;  // > 0 while an element at that depth is skipped whole
  int param = -1;     // parameter element being read
  Base64Decoder decoder;
  std::vector<uint8_t> decoded;

  Impl(EnvelopeReader& o, std::string_view ns, const OperationSpec& op, BinarySink* s,
       uint64_t limit)
      : owner(o), serviceNamespace(ns), operation(op), sink(s), binaryLimit(limit) {}

  void Fail(FaultCode code, std::string text) {
    owner.Fail(code, std::move(text));
    XML_StopParser(parser, XML_FALSE);
  }

  const ParamSpec& Spec() const { return operation.params[param]; }
  ParamValue& Current() { return owner.m_values[static_cast<size_t>(param)]; }

  void StartElement(const XML_Char* rawName, const XML_Char** attributes) {
    if (owner.m_failed) return;
    if (++depth > kMaxDepth) return Fail(FaultCode::kClient, "elements are nested too deeply");
    if (skipDepth > 0) return;
    QName name = Split(rawName);
    bool soap = name.ns == kSoapEnvelopeNamespace;
    switch (stage) {
      case Stage::kBeforeEnvelope:
        if (name.local != "Envelope")
          return Fail(FaultCode::kClient, "the root element " + Describe(name) +
                                              " is not a SOAP Envelope");
        if (!soap) {
          if (name.ns == kSoap12EnvelopeNamespace)
            return Fail(FaultCode::kVersionMismatch,
                        "a SOAP 1.2 Envelope was sent; this service speaks SOAP 1.1");
          return Fail(FaultCode::kVersionMismatch,
                      "the Envelope is not in the SOAP 1.1 envelope namespace");
        }
        stage = Stage::kInEnvelope;
        return;
      case Stage::kInEnvelope:
      case Stage::kAfterHeader:
        if (soap && name.local == "Header" && stage == Stage::kInEnvelope) {
          stage = Stage::kInHeader;
          return;
        }
        if (soap && name.local == "Body") {
          stage = Stage::kInBody;
          return;
        }
        return Fail(FaultCode::kClient, "unexpected element " + Describe(name) +
                                            " in the Envelope");
      case Stage::kInHeader: {
        const XML_Char* must = Attribute(attributes, kSoapEnvelopeNamespace, "mustUnderstand");
        if (must && (std::string_view(must) == "1" || std::string_view(must) == "true"))
          return Fail(FaultCode::kMustUnderstand,
                      "the header entry " + Describe(name) + " is not understood");
        skipDepth = depth;
        return;
      }
      case Stage::kInBody:
        if (name.local != operation.name || name.ns != serviceNamespace)
          return Fail(FaultCode::kClient, "the Body holds " + Describe(name) +
                                              " but the SOAPAction names '{" +
                                              serviceNamespace + "}" + operation.name + "'");
        stage = Stage::kInWrapper;
        return;
      case Stage::kInWrapper:
        return StartParameter(name, attributes);
      case Stage::kAfterWrapper:
        return Fail(FaultCode::kClient, "the Body holds more than one element");
      case Stage::kAfterBody:
        // SOAP 1.1 allows further qualified elements after the Body; they carry nothing here.
        if (name.ns.empty())
          return Fail(FaultCode::kClient, "unexpected element " + Describe(name) +
                                              " after the Body");
        skipDepth = depth;
        return;
      case Stage::kDone:
        return;
    }
  }

  void StartParameter(QName name, const XML_Char** attributes) {
    if (param >= 0)
      return Fail(FaultCode::kClient,
                  std::string("the parameter '") + Spec().name + "' must hold text only");
    int found = -1;
    for (size_t i = 0; i < operation.paramCount; ++i)
      if (name.local == operation.params[i].name) found = static_cast<int>(i);
    if (found < 0 || name.ns != serviceNamespace)
      return Fail(FaultCode::kClient, "unexpected element " + Describe(name) + " in '" +
                                          operation.name + "'");
    param = found;
    ParamValue& value = Current();
    if (value.present)
      return Fail(FaultCode::kClient,
                  std::string("the parameter '") + Spec().name + "' appears twice");
    value.present = true;
    if (const XML_Char* nil = Attribute(attributes, kSchemaInstanceNamespace, "nil")) {
      if (!ParseBoolean(nil, &value.nil))
        return Fail(FaultCode::kClient, std::string("the xsi:nil attribute of '") +
                                            Spec().name + "' is not a boolean");
      if (value.nil && !Spec().nullable)
        return Fail(FaultCode::kClient,
                    std::string("the parameter '") + Spec().name + "' must not be nil");
    }
    decoder = Base64Decoder();
  }

  void EndElement(const XML_Char*) {
    if (owner.m_failed) return;
    int ending = depth--;
    if (skipDepth > 0) {
      if (ending == skipDepth) skipDepth = 0;
      return;
    }
    switch (stage) {
      case Stage::kInHeader:
        if (ending == 2) stage = Stage::kAfterHeader;
        return;
      case Stage::kInBody:
        return Fail(FaultCode::kClient, "the Body is empty");
      case Stage::kInWrapper:
        if (param >= 0) return EndParameter();
        stage = Stage::kAfterWrapper;
        return;
      case Stage::kAfterWrapper:
        stage = Stage::kAfterBody;
        return;
      case Stage::kInEnvelope:
      case Stage::kAfterHeader:
        return Fail(FaultCode::kClient, "the Envelope has no Body");
      case Stage::kAfterBody:
        stage = Stage::kDone;
        return;
      default:
        return;
    }
  }

  void EndParameter() {
    ParamValue& value = Current();
    const ParamSpec& spec = Spec();
    param = -1;
    if (value.nil) return;
    if (spec.type == ParamType::kBoolean) {
      if (value.textBytes > kMaxBooleanText || !ParseBoolean(value.text, &value.boolean))
        return Fail(FaultCode::kClient, std::string("the parameter '") + spec.name +
                                            "' is not a boolean (true, false, 1 or 0)");
      value.text.clear();
    } else if (spec.type == ParamType::kBase64) {
      if (!decoder.Finish())
        return Fail(FaultCode::kClient,
                    std::string("the parameter '") + spec.name + "' is not valid base64");
    }
  }

  void Characters(const XML_Char* s, int length) {
    if (owner.m_failed || skipDepth > 0) return;
    if (param < 0) {
      if (!IsWhiteSpace(s, length))
        Fail(FaultCode::kClient, "unexpected text outside the parameters");
      return;
    }
    ParamValue& value = Current();
    const ParamSpec& spec = Spec();
    if (value.nil) {
      if (!IsWhiteSpace(s, length))
        Fail(FaultCode::kClient,
             std::string("the parameter '") + spec.name + "' is nil but holds a value");
      return;
    }
    size_t n = static_cast<size_t>(length);
    switch (spec.type) {
      case ParamType::kString:
      case ParamType::kBoolean: {
        std::string_view text(s, n);
        size_t keep = value.text.size() < kMaxKeptText ? kMaxKeptText - value.text.size() : 0;
        value.text.append(text.substr(0, keep));
        value.textBytes += n;
        value.textUnits += Utf16Length(text);
        return;
      }
      case ParamType::kBase64: {
        decoded.resize(n / 4 * 3 + 6);
        size_t produced = 0;
        if (!decoder.Feed(s, n, decoded.data(), &produced))
          return Fail(FaultCode::kClient,
                      std::string("the parameter '") + spec.name + "' is not valid base64");
        if (produced == 0) return;
        value.binaryBytes += produced;
        if (value.binaryOverLimit) return;
        if (value.binaryBytes > binaryLimit) {
          value.binaryOverLimit = true;
          return;
        }
        if (sink && !sink->Write(decoded.data(), produced))
          return Fail(FaultCode::kServer, "the piece cannot be stored");
        return;
      }
    }
  }
};

EnvelopeReader::EnvelopeReader(std::string_view serviceNamespace,
                               const OperationSpec& operation, const std::string& encoding,
                               BinarySink* sink, uint64_t binaryLimit)
    : m_impl(std::make_unique<Impl>(*this, serviceNamespace, operation, sink, binaryLimit)),
      m_values(operation.paramCount) {
  XML_Parser parser =
      XML_ParserCreateNS(encoding.empty() ? nullptr : encoding.c_str(), kNameSeparator);
  m_impl->parser = parser;
  if (!parser) {
    Fail(FaultCode::kServer, "the XML reader cannot be created");
    return;
  }
  XML_SetUserData(parser, m_impl.get());
  XML_SetElementHandler(
      parser,
      [](void* data, const XML_Char* name, const XML_Char** attributes) {
        static_cast<Impl*>(data)->StartElement(name, attributes);
      },
      [](void* data, const XML_Char* name) { static_cast<Impl*>(data)->EndElement(name); });
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* s, int length) {
    static_cast<Impl*>(data)->Characters(s, length);
  });
  // No document type: it would bring entity declarations, which a SOAP message must not have.
  XML_SetStartDoctypeDeclHandler(
      parser, [](void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        static_cast<Impl*>(data)->Fail(FaultCode::kClient,
                                       "a document type declaration (DTD) is not allowed");
      });
  XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
}

EnvelopeReader::~EnvelopeReader() {
  if (m_impl->parser) XML_ParserFree(m_impl->parser);
}

void EnvelopeReader::Fail(FaultCode code, std::string text) {
  if (m_failed) return;
  m_failed = true;
  m_fault = {code, std::move(text)};
}

static std::string ExpatError(XML_Parser parser) {
  return std::string("malformed XML: ") + XML_ErrorString(XML_GetErrorCode(parser)) +
         " at line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ", column " +
         std::to_string(XML_GetCurrentColumnNumber(parser));
}

void EnvelopeReader::Feed(const char* data, size_t length) {
  XML_Parser parser = m_impl->parser;
  while (!m_failed && length > 0) {
    // Expat takes an int length.
    int piece = length > (1u << 30) ? (1 << 30) : static_cast<int>(length);
    if (XML_Parse(parser, data, piece, XML_FALSE) != XML_STATUS_OK) {
      Fail(FaultCode::kClient, ExpatError(parser));
      return;
    }
    data += piece;
    length -= static_cast<size_t>(piece);
  }
}

bool EnvelopeReader::Finish() {
  if (m_failed) return false;
  if (XML_Parse(m_impl->parser, "", 0, XML_TRUE) != XML_STATUS_OK) {
    Fail(FaultCode::kClient, ExpatError(m_impl->parser));
    return false;
  }
  if (m_failed) return false;
  if (m_impl->stage != Stage::kDone) {
    Fail(FaultCode::kClient, "the Envelope is incomplete");
    return false;
  }
  const OperationSpec& operation = m_impl->operation;
  for (size_t i = 0; i < operation.paramCount; ++i) {
    if (!m_values[i].present) {
      Fail(FaultCode::kClient, std::string("the parameter '") + operation.params[i].name +
                                   "' of '" + operation.name + "' is missing");
      return false;
    }
  }
  return true;
}

}  // namespace fotrel::service
