// Result codes in the COM style: 0 success, negative failure.
#pragma once

#include <cstdint>

using HResult = int32_t;

constexpr HResult kS_OK = 0;
constexpr HResult kE_POINTER = static_cast<HResult>(0x80004003u);
constexpr HResult kE_FAIL = static_cast<HResult>(0x80004005u);
constexpr HResult kE_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
constexpr HResult kE_INVALIDARG = static_cast<HResult>(0x80070057u);

inline bool Succeeded(HResult hr) { return hr >= 0; }
inline bool Failed(HResult hr) { return hr < 0; }
