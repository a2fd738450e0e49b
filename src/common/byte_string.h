// ByteString: a growable 8-bit string with shared, reference-counted storage. Copies share
// one buffer until one of them is changed. Bytes are never interpreted: names, addresses,
// expressions and whole web pages (which may hold NUL bytes) all live in it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace common {

class ByteString {
 public:
  ByteString() = default;
  ByteString(const char* text) { Assign(text ? std::string(text) : std::string()); }
  ByteString(const char* data, std::size_t size) { Assign(std::string(data, size)); }
  ByteString(std::string text) { Assign(std::move(text)); }

  std::size_t size() const { return data_ ? data_->size() : 0; }
  bool empty() const { return size() == 0; }
  // Always NUL-terminated; text past an inner NUL is still held but not seen through c_str.
  const char* c_str() const { return data_ ? data_->c_str() : ""; }
  const char* data() const { return c_str(); }
  const std::string& str() const {
    static const std::string kEmpty;
    return data_ ? *data_ : kEmpty;
  }

  ByteString& operator+=(const ByteString& other) {
    Mutable().append(other.str());
    return *this;
  }
  ByteString& operator+=(const char* text) {
    if (text) Mutable().append(text);
    return *this;
  }
  void Append(const char* data, std::size_t size) { Mutable().append(data, size); }
  void Clear() { data_.reset(); }

  friend bool operator==(const ByteString& a, const ByteString& b) { return a.str() == b.str(); }
  friend bool operator!=(const ByteString& a, const ByteString& b) { return !(a == b); }
  friend ByteString operator+(ByteString a, const ByteString& b) { return a += b; }

 private:
  void Assign(std::string s) {
    data_ = s.empty() ? nullptr : std::make_shared<std::string>(std::move(s));
  }
  std::string& Mutable() {
    if (!data_) {
      data_ = std::make_shared<std::string>();
    } else if (data_.use_count() > 1) {
      data_ = std::make_shared<std::string>(*data_);
    }
    return *data_;
  }

  std::shared_ptr<std::string> data_;
};

}  // namespace common
