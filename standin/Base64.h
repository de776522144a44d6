// Base64 encoding (standard alphabet, "=" padding, no line breaks), as the reader
// hands over the card photo: the stand-in's photos and the benchmarks' texts.
#pragma once

#include <cstddef>
#include <string>

namespace standin {

// The base64 text of `size` bytes at `data`: 4 characters for every 3 bytes begun.
std::string EncodeBase64(const unsigned char* data, std::size_t size);
std::string EncodeBase64(const std::string& bytes);

}  // namespace standin
