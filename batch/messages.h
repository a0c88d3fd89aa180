#pragma once
// Every text of the batch renderer that reports on a picture or a folder. In the patterns, "%s" is
// replaced by a file name (already quoted for the terminal) or by the system's reason.

// A named input that exists but is neither a file nor a folder; "%s" is what it is.
inline constexpr const char* SNotAPictureFile = "not a file but %s: only files are read as pictures";
// What such an input is.
inline constexpr const char* SKindFifo = "a FIFO";
inline constexpr const char* SKindCharDevice = "a character device";
inline constexpr const char* SKindBlockDevice = "a block device";
inline constexpr const char* SKindSocket = "a socket";
inline constexpr const char* SKindOther = "something else";

// A folder whose entries cannot be listed; "%s" is the system's reason.
inline constexpr const char* SFolderUnreadable = "folder cannot be read: %s";
// An output folder that cannot be made; the system's reason follows after a colon.
inline constexpr const char* SOutputFolderFailed = "cannot make the folder %s";

// Under --output-dir, a picture whose output is one of the run's input pictures; "%s" is that file.
inline constexpr const char* SOutputReplacesInput =
    "its output %s is an input picture of this run and is not replaced: choose another --output-dir";

// A run that found no picture at all; "%zu" is the count of the entries it skipped.
inline constexpr const char* SNoPictureFound = "no picture found (%zu skipped)";

// A picture that alone declares more than the memory budget; the sizes are in MiB, the picture's
// first.
inline constexpr const char* SOverMemoryBudget =
    "its header says decoding needs %s MiB, more than the memory budget of %s MiB (see --memory)";
