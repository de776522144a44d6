// The built-in card on the stand-in reader: a fictional person, and a photo drawn
// by scripts/make-sample-photo.sh (standin/sample-photo.jpg, embedded at build time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace standin {

// The sample card's field `index` (0-8 and 10) in code page 936, or nullptr for an
// index the card has no text field for (9, 11 and anything else).
const char* SampleField(std::int32_t index);

// The sample photo, a JPEG file's bytes.
extern const unsigned char kSamplePhoto[];
extern const std::size_t kSamplePhotoSize;

// The sample photo as the reader hands it over: base64 text without line breaks.
std::string SamplePhotoBase64();

}  // namespace standin
