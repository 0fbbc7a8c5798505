#pragma once
// Finding bytes in large buffers sixteen at a time, where the processor allows it. The settings
// store looks for line ends and group headers with these in files of many megabytes.

namespace runtime {

// The first byte in [from, to) that equals `a` or `b`; `to` when there is none.
const char* FindEither(const char* from, const char* to, char a, char b);

// The first byte in [from, to) that equals `c`; `to` when there is none.
inline const char* FindByte(const char* from, const char* to, char c) {
  return FindEither(from, to, c, c);
}

}  // namespace runtime
