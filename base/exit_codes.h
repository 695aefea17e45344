// Every code Korvalin.exe ends with on a problem that makes running
// impossible, named once. Each cause has its own non-zero code (0 would
// report the failure as success); the cause goes to the debugger output
// (ExitFatally, base/log_win32.h), and no message box is shown.
#pragma once

namespace kv {

// The transport library (Tessaro.dll beside the program).
inline constexpr int kExitTransportLibraryMissing = 20;     // not found or not loadable
inline constexpr int kExitTransportEntryPointMissing = 21;  // one of its twelve entry points is missing
inline constexpr int kExitTransportInitFailed = 22;         // its Init failed

// The system.
inline constexpr int kExitNoLayeredWindows = 30;  // the layered-window function is missing

// The skin.
inline constexpr int kExitSkinPictureOpen = 80;    // a background or mask picture cannot be opened
inline constexpr int kExitSkinPictureSize = 81;    // its size cannot be taken, or it is empty or over 256 MiB
inline constexpr int kExitSkinPictureMemory = 82;  // no memory block for its contents
inline constexpr int kExitSkinPictureRead = 83;    // reading it failed or came up short
inline constexpr int kExitSkinPictureStream = 84;  // no memory stream over the block
inline constexpr int kExitSkinPictureDecode = 85;  // the picture loader rejected its contents
inline constexpr int kExitSkinPictureBitmap = 86;  // the decoded picture could not be copied into a bitmap
inline constexpr int kExitSkinImageObject = 87;    // the image library could not create an image object

// What each code means, for the debugger output.
constexpr const char* exitCause(int code) {
  switch (code) {
    case kExitTransportLibraryMissing:
    case kExitTransportEntryPointMissing:
    case kExitTransportInitFailed: return "the transport library cannot be used";
    case kExitNoLayeredWindows: return "the layered-window function is missing";
    case kExitSkinPictureOpen: return "skin picture cannot be opened";
    case kExitSkinPictureSize: return "skin picture is empty or too large";
    case kExitSkinPictureMemory: return "no memory for the skin picture";
    case kExitSkinPictureRead: return "skin picture cannot be read";
    case kExitSkinPictureStream: return "no memory stream for the skin picture";
    case kExitSkinPictureDecode: return "skin picture cannot be decoded";
    case kExitSkinPictureBitmap: return "skin picture cannot be copied into a bitmap";
    case kExitSkinImageObject: return "image object cannot be created";
    default: return "fatal failure";
  }
}

}  // namespace kv
