// Length-prefixed framing of documents on a byte stream: "LENGTH\n" then LENGTH bytes.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

inline std::string frame(const std::string& item) {
  return std::to_string(item.size()) + "\n" + item;
}

inline std::string frameAll(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += frame(item);
  return out;
}

// The next framed item of `in`, or nothing at its end.
inline std::optional<std::string> readFrame(std::istream& in) {
  std::string length;
  if (!std::getline(in, length) || length.empty()) return std::nullopt;
  std::string item(std::stoul(length), '\0');
  in.read(item.data(), static_cast<std::streamsize>(item.size()));
  return item;
}

inline std::vector<std::string> unframeAll(const std::string& bytes) {
  std::vector<std::string> items;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t newline = bytes.find('\n', at);
    size_t length = std::stoul(bytes.substr(at, newline - at));
    items.push_back(bytes.substr(newline + 1, length));
    at = newline + 1 + length;
  }
  return items;
}

}  // namespace testing_support
