// Exit codes of the skin problems that make start-up impossible. Each cause
// has its own non-zero code (0 would report the failure as success), and the
// cause is written to the debugger output; no message box is shown.
#pragma once

namespace kv {

inline constexpr int kExitSkinPictureOpen = 80;    // a background or mask picture cannot be opened
inline constexpr int kExitSkinPictureSize = 81;    // its size cannot be taken, or it is empty or over 256 MiB
inline constexpr int kExitSkinPictureMemory = 82;  // no memory block for its contents
inline constexpr int kExitSkinPictureRead = 83;    // reading it failed or came up short
inline constexpr int kExitSkinPictureStream = 84;  // no memory stream over the block
inline constexpr int kExitSkinPictureDecode = 85;  // the picture loader rejected its contents
inline constexpr int kExitSkinPictureBitmap = 86;  // the decoded picture could not be copied into a bitmap
inline constexpr int kExitSkinImageObject = 87;    // the image library could not create an image object

// What each code means, for the debugger output.
inline const char* skinExitCause(int code) {
  switch (code) {
    case kExitSkinPictureOpen: return "skin picture cannot be opened";
    case kExitSkinPictureSize: return "skin picture is empty or too large";
    case kExitSkinPictureMemory: return "no memory for the skin picture";
    case kExitSkinPictureRead: return "skin picture cannot be read";
    case kExitSkinPictureStream: return "no memory stream for the skin picture";
    case kExitSkinPictureDecode: return "skin picture cannot be decoded";
    case kExitSkinPictureBitmap: return "skin picture cannot be copied into a bitmap";
    case kExitSkinImageObject: return "image object cannot be created";
    default: return "skin failure";
  }
}

}  // namespace kv
