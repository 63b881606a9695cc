#include "Y4mInput.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vmedia {
namespace {

class FileInput final : public Y4mInput {
 public:
  explicit FileInput(std::FILE* file) : file_(file) {
    if (Seek64(0, SEEK_END)) size_ = Tell64();
    Seek64(0, SEEK_SET);
  }
  ~FileInput() override { std::fclose(file_); }
  size_t Read(void* data, size_t size) override { return std::fread(data, 1, size, file_); }
  bool Seek(int64_t offset) override { return Seek64(offset, SEEK_SET); }
  int64_t Size() const override { return size_; }

 private:
  bool Seek64(int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(file_, offset, origin) == 0;
#else
    return fseeko(file_, static_cast<off_t>(offset), origin) == 0;
#endif
  }
  int64_t Tell64() {
#ifdef _WIN32
    return _ftelli64(file_);
#else
    return static_cast<int64_t>(ftello(file_));
#endif
  }
  std::FILE* file_;
  int64_t size_ = 0;
};

class MemoryInput final : public Y4mInput {
 public:
  MemoryInput(const uint8_t* data, size_t size, bool seekable) : data_(data), size_(size), seekable_(seekable) {}
  size_t Read(void* data, size_t size) override {
    const size_t n = std::min(size, size_ - position_);
    if (n > 0) std::memcpy(data, data_ + position_, n);
    position_ += n;
    return n;
  }
  bool Seek(int64_t offset) override {
    if (!seekable_ || offset < 0 || static_cast<uint64_t>(offset) > size_) return false;
    position_ = static_cast<size_t>(offset);
    return true;
  }
  int64_t Size() const override { return seekable_ ? static_cast<int64_t>(size_) : -1; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
  bool seekable_;
};

// Standard input read through its handle: no C runtime buffering or text-mode translation stands
// between the pipe and the samples.
class StandardInput final : public Y4mInput {
 public:
  size_t Read(void* data, size_t size) override {
    size_t done = 0;
    auto* bytes = static_cast<uint8_t*>(data);
    while (done < size) {
#ifdef _WIN32
      DWORD got = 0;
      const DWORD asked = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 20));
      // A pipe whose writer has gone answers ERROR_BROKEN_PIPE: the end of the stream.
      if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), bytes + done, asked, &got, nullptr) || got == 0) break;
#else
      const size_t got = std::fread(bytes + done, 1, size - done, stdin);
      if (got == 0) break;
#endif
      done += got;
    }
    return done;
  }
  bool Seek(int64_t) override { return false; }
  int64_t Size() const override { return -1; }
};

}  // namespace

std::unique_ptr<Y4mInput> OpenY4mFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
  return std::make_unique<FileInput>(file);
}

std::unique_ptr<Y4mInput> StandardInputY4m() { return std::make_unique<StandardInput>(); }

std::unique_ptr<Y4mInput> MemoryY4m(const uint8_t* data, size_t size, bool seekable) {
  return std::make_unique<MemoryInput>(data, size, seekable);
}

}  // namespace vmedia
