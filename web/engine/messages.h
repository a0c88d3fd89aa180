#pragma once
// The engine's own texts. The window's texts come from app/messages.h and the core's messages; these
// are for the program that calls the engine (the page's script), not for the user, so English.

// A slider or an output side outside its range: the name, the range, the value.
inline constexpr const char* SOutOfRange = "%s must be a whole number from %d to %d, not %d";
