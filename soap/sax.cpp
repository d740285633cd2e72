// The portable part of the reader interface.
#include "soap/sax.h"

bool ISaxAttributes::Find(std::u16string_view uri, std::u16string_view localName, std::u16string_view* value) const {
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    SaxAttribute attribute = Get(i);
    if (attribute.localName == localName && attribute.uri == uri) {
      if (value) *value = attribute.value;
      return true;
    }
  }
  return false;
}
