// Nothing to set up: the XML reader is a plain library here.
#include "upload/lane_apartment.h"

CLaneApartment::CLaneApartment() {}

CLaneApartment::~CLaneApartment() {}
