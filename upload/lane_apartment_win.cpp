#include "upload/lane_apartment.h"

#include <objbase.h>

CLaneApartment::CLaneApartment() : m_entered(SUCCEEDED(::CoInitialize(nullptr))) {}

CLaneApartment::~CLaneApartment() {
  if (m_entered) ::CoUninitialize();
}
