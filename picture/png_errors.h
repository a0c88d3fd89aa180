#pragma once
// The PNG reader's errors by libspng's error codes, shared by the reader's parts.

// Throws EOutOfResources (SImageTooLarge) for the codes of sizes beyond the limits, EInvalidGraphic
// (SPictureNotSupported with libspng's text) for metadata beyond the chunk limits, EInvalidGraphic
// (SPngDamaged with libspng's text) for any other.
[[noreturn]] void ThrowPngError(int spngError);
