// The reader library's five operations, as Zantor imports them from Mervik.dll.
//
// Binding: undecorated names, __stdcall, imported at load time. Every buffer is
// caller-owned and zero-filled by the caller; the library writes a NUL-terminated
// narrow text in the process's ANSI code page (the one GetACP returns: 936 on
// Chinese Windows) of at most the buffer's size, NUL included. No size is passed:
// the sizes below are part of the contract.
#pragma once

#include <cstddef>
#include <cstdint>

// A library built from this declaration with another convention (the stand-in's
// cdecl build) defines MERVIK_CALL itself.
#ifndef MERVIK_CALL
#ifdef _WIN32
#define MERVIK_CALL __stdcall
#else
#define MERVIK_CALL
#endif
#endif

namespace mervik {

// Error, status and field value texts.
constexpr std::size_t kTextBufferSize = 1024;
// The photo as base64 text (card field 11).
constexpr std::size_t kPhotoTextBufferSize = 102400;

// Card field indices passed to GetCardInfo. Index 9 is not requested by the console.
enum CardField : std::int32_t {
    kFieldName = 0,
    kFieldSex = 1,
    kFieldNation = 2,
    kFieldBirth = 3,
    kFieldAddress = 4,
    kFieldIdNumber = 5,
    kFieldAuthority = 6,
    kFieldValidFrom = 7,
    kFieldValidTo = 8,
    kFieldPhotoName = 10,
    kFieldPhoto = 11,
};

}  // namespace mervik

extern "C" {

// 0: the reader is open on `port`; otherwise a failure code and a text in errorText.
std::int32_t MERVIK_CALL OpenDevice(std::int32_t port, char* errorText);
// 0: the reader is closed; otherwise a failure code and a text in errorText.
std::int32_t MERVIK_CALL CloseDevice(char* errorText);
// A status code and a text describing the status.
std::int32_t MERVIK_CALL getDeviceStatus(char* statusText);
// A status code of the card read and a text describing the outcome.
std::int32_t MERVIK_CALL readCard(char* statusText);
// 0: value holds the field `index` of the card last read (the photo's base64 text
// for index 11, in a kPhotoTextBufferSize buffer); otherwise a failure code and a
// text in errorText.
std::int32_t MERVIK_CALL GetCardInfo(std::int32_t index, char* value, char* errorText);

}  // extern "C"
