// Overwriting secrets (passwords, credentials, authorization lines) once they
// are no longer needed, with a call that the compiler may not drop as a store
// to memory nobody reads again.
#pragma once

#include <string.h>  // explicit_bzero

#include <cstddef>
#include <string>

inline void WipeBytes(void* data, size_t size) { explicit_bzero(data, size); }

// Overwrites the text's characters, then empties it.
template <typename Char>
void WipeText(std::basic_string<Char>& text) {
  explicit_bzero(text.data(), text.size() * sizeof(Char));
  text.clear();
}
