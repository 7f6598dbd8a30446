// Streams as the packed-block reader and its callers use them: a position counted from
// the start, a size, reads that deliver at most what remains, writes that report what
// was accepted. Objects are released explicitly (delete); no operation throws.
#pragma once
#include <stdint.h>

class TStream {
public:
  virtual ~TStream() = default;
  virtual void SetPosition(uint32_t position) = 0;
  virtual uint32_t Position() const = 0;
  virtual uint32_t Size() const = 0;
  virtual uint32_t Read(void* buffer, uint32_t count) = 0;
  virtual uint32_t Write(const void* buffer, uint32_t count) = 0;
};

// Grows when written past its end (a gap left by a position beyond the end reads as
// zeros); reads deliver at most the bytes that remain.
class TMemoryStream final : public TStream {
public:
  TMemoryStream() = default;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;
  ~TMemoryStream() override;

  void SetPosition(uint32_t position) override { position_ = position; }
  uint32_t Position() const override { return position_; }
  uint32_t Size() const override { return size_; }
  uint32_t Read(void* buffer, uint32_t count) override;
  uint32_t Write(const void* buffer, uint32_t count) override;

  const uint8_t* Memory() const { return data_; }
  void Clear();

private:
  uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  uint32_t capacity_ = 0;
  uint32_t position_ = 0;
};
