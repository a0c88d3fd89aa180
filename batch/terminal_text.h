#pragma once
// File names shown on a terminal: a name could hold escape sequences that drive it (colours, a
// rewritten title, a cleared screen), so such bytes are never printed as they are.
#include <string>
#include <vector>

// The name as it is when it holds no control character (C0, C1, or a bidirectional embedding,
// override or isolate, U+202A to U+202E and U+2066 to U+2069) and no byte that is not UTF-8; else
// quoted as `ls` quotes it for a shell: in single quotes, with those bytes as $'\n' or $'\033'.
std::string QuotedName(const std::string& name);

// A message for one line: each of `names` quoted wherever it appears, the line breaks the message
// has of its own (made for a message box) turned into spaces, and any other control byte escaped.
std::string OneLineMessage(const std::string& message, const std::vector<std::string>& names);
