#pragma once
// EDID files as the EDID page opens and saves them.
//
// ".bin": the 256 image bytes, bank 0 then bank 1, no header; a shorter file is accepted
// and the missing bytes read as 0xFF. ".txt": written as 16 lines of 16 upper-case
// two-digit hex numbers separated by single spaces, each line ended by CR LF; read back as
// any white-space-separated hexadecimal numbers (the way scanf's "%x" reads them), one
// byte each. Saving writes one of each, "TQ_EDID%02d.txt" and "TQ_EDID%02d.bin", each
// under the first free number of 00..99 (99 is overwritten when all are taken).
//
// Nothing here shows anything: results carry the message the page puts in its box.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "edid/edid_decoder.h"

namespace sc {

// The page's messages.
inline constexpr char kEdidFileReadFailed[] = "File read failed";
inline constexpr char kEdidNotBinOrTxt[] = "It is not bin or txt file";
// Files go to the current folder; the name is shown as a Linux user reads it there.
inline constexpr char kEdidSavedPrefix[] = "Save EDID data to ./";

// A .txt is read at most this far: far more than 256 numbers ever need, and it keeps a
// huge file from stalling the window. What lies beyond reads as the end of the file.
inline constexpr size_t kMaxEdidTextFileBytes = 1 << 20;

enum class EdidLoadStatus {
  Ok,
  ReadFailed,   // cannot be opened, not a regular file, or an I/O error while reading
  NotBinOrTxt,  // the extension is neither "txt" nor "bin" (compared case-sensitively)
};

struct EdidLoadResult {
  EdidLoadStatus status = EdidLoadStatus::Ok;
  std::string message;   // the page's message; empty on success
  std::string detail;    // why, for a read failure (the system's error text)
  size_t bytesRead = 0;  // leading image bytes that came from the file

  bool ok() const { return status == EdidLoadStatus::Ok; }
};

// Loads an EDID file into image the way "Open file" does: the image is first set to all
// 0xFF, so a failure leaves it so; the file is opened before its extension is judged.
// A .txt sets one byte per hexadecimal number, stopping at the first number that cannot
// be read; a .bin fills the image from its first 256 bytes.
EdidLoadResult LoadEdidFile(const std::string& path, EdidImage& image);

// An EDID file read whole for the full decoder (signal-edid --full, diff): the bytes of a
// .bin, or one byte per number of a .txt (read as LoadEdidFile reads it), up to 32 blocks;
// nothing is filled in. A file that is not .bin or .txt, or cannot be read, gives the same
// status and message as LoadEdidFile.
inline constexpr size_t kMaxEdidFileBytes = 32 * 128;
struct EdidBytesResult {
  EdidLoadStatus status = EdidLoadStatus::Ok;
  std::string message;
  std::string detail;
  std::vector<uint8_t> bytes;  // at most kMaxEdidFileBytes
  bool more = false;           // the file holds more than that

  bool ok() const { return status == EdidLoadStatus::Ok; }
};
EdidBytesResult LoadEdidBytes(const std::string& path);

// Reads up to 256 hexadecimal numbers from text into image[0], image[1], ..., each byte
// taking the number's low 8 bits; stops at the end or at the first character that does
// not start a number, leaving the remaining bytes as they were. Returns the count read.
size_t ParseEdidText(std::string_view text, EdidImage& image);

// The .txt form of an image: 784 bytes.
std::string FormatEdidTextFile(const EdidImage& image);

// "TQ_EDID%02d.<extension>" for the first number 00..99 whose name does not exist in
// directory (anything by that name counts, a dangling link too); 99 when all exist.
std::string FirstFreeEdidFileName(const std::string& directory, const char* extension);

struct EdidSaveResult {
  bool ok = false;
  std::string message;     // the success text or the failure message
  std::string textFile;    // the name of the .txt written, empty when it was not
  std::string binaryFile;  // the name of the .bin written, empty when it was not
};

// Saves the image unchanged to a .txt and a .bin in directory (the page passes ".").
// Each file is written beside its name and renamed into place, so a kill part way leaves
// no new file, or number 99 as it was. Failures: "Faild to create file" when a file cannot
// be created, or when all hundred names are taken and number 99 is not a regular file (a
// FIFO, a device, a symbolic link, a directory: left alone); "failed" when it is missing
// right after creation; "Failed to write <name> (<reason>)" when the bytes do not all
// reach the disk (nothing is left under the name then). A failure of the .bin leaves the
// .txt written.
EdidSaveResult SaveEdidFiles(const EdidImage& image, const std::string& directory);

}  // namespace sc
