// Where the bytes of a Y4M clip come from: a file (random access, so frames are indexed once and
// read in any order) or a stream read once from front to back (standard input, a pipe).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vmedia {

class Y4mInput {
 public:
  virtual ~Y4mInput() = default;
  // Up to size bytes into data; fewer only at the end of the input.
  virtual size_t Read(void* data, size_t size) = 0;
  // Moves to offset; false for a stream.
  virtual bool Seek(int64_t offset) = 0;
  // Total size in bytes; -1 for a stream.
  virtual int64_t Size() const = 0;
};

// A file opened for reading; null when it cannot be opened.
std::unique_ptr<Y4mInput> OpenY4mFile(const std::string& path);
// The process's standard input, as a stream of bytes (never translated).
std::unique_ptr<Y4mInput> StandardInputY4m();
// Bytes in memory (not copied), as a file or as a stream.
std::unique_ptr<Y4mInput> MemoryY4m(const uint8_t* data, size_t size, bool seekable);

}  // namespace vmedia
