#include "batch/terminal_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

// The length of the UTF-8 sequence at `at` of a printable character, or 0 for a control byte, a
// C1 control character, a bidirectional embedding, override or isolate (which would reorder the
// rest of the line on the terminal) or a byte that begins no valid sequence.
std::size_t PrintableLength(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return i < text.size() ? std::uint8_t(text[i]) : std::uint8_t(0); };
  const std::uint8_t first = byte(at);
  if (first < 0x20 || first == 0x7F) return 0;
  if (first < 0x80) return 1;
  const std::size_t length = first > 0xF4 ? 0 : first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC2 ? 2 : 0;
  if (length == 0) return 0;
  std::uint32_t code = first & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  if (code >= 0x80 && code <= 0x9F) return 0;  // C1 controls: 0x9B starts an escape sequence
  if ((code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069)) return 0;
  return length;
}

// A byte as $'...' writes it.
std::string Escaped(std::uint8_t byte) {
  switch (byte) {
    case '\a': return "\\a";
    case '\b': return "\\b";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\v': return "\\v";
    case '\f': return "\\f";
    case '\r': return "\\r";
    default: {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", unsigned(byte));
      return octal;
    }
  }
}

bool NeedsQuoting(const std::string& text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = PrintableLength(text, at);
    if (length == 0) return true;
    at += length;
  }
  return false;
}

}  // namespace

std::string QuotedName(const std::string& name) {
  if (!NeedsQuoting(name)) return name;
  std::string quoted = "'";
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t length = PrintableLength(name, at);
    if (length == 0) {
      quoted += "'$'";
      for (; at < name.size() && PrintableLength(name, at) == 0; ++at) quoted += Escaped(std::uint8_t(name[at]));
      quoted += "''";
    } else if (name[at] == '\'') {
      quoted += "'\\''";
      ++at;
    } else {
      quoted.append(name, at, length);
      at += length;
    }
  }
  quoted += "'";
  // A name ending in escaped bytes leaves an empty pair of quotes.
  if (quoted.ends_with("'''")) quoted.resize(quoted.size() - 2);
  return quoted;
}

std::string OneLineMessage(const std::string& message, const std::vector<std::string>& names) {
  std::vector<std::string> quoted;  // only the names that need it
  for (const std::string& name : names)
    if (!name.empty() && NeedsQuoting(name)) quoted.push_back(name);
  // A folder's name is part of its files' names: the longest name is matched first.
  std::sort(quoted.begin(), quoted.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  std::string line;
  for (std::size_t at = 0; at < message.size();) {
    const auto name = std::find_if(quoted.begin(), quoted.end(),
                                   [&](const std::string& n) { return message.compare(at, n.size(), n) == 0; });
    if (name != quoted.end()) {
      line += QuotedName(*name);
      at += name->size();
    } else if (message[at] == '\n' || message[at] == '\r') {
      line += ' ';
      ++at;
    } else if (const std::size_t length = PrintableLength(message, at); length != 0) {
      line.append(message, at, length);
      at += length;
    } else {
      line += Escaped(std::uint8_t(message[at]));
      ++at;
    }
  }
  return line;
}
