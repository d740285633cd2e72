// What a thread of the uploader's own needs for service calls on this platform, for its life:
// on Windows COM (the client's XML reader is a COM object), as a single-threaded apartment.
// The thread's service clients must be gone before this is.
#pragma once

class CLaneApartment {
 public:
  CLaneApartment();
  ~CLaneApartment();
  CLaneApartment(const CLaneApartment&) = delete;
  CLaneApartment& operator=(const CLaneApartment&) = delete;

 private:
  bool m_entered = false;
};
