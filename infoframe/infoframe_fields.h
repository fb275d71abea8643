#pragma once
// Inside the InfoFrame decoder: the reader that turns one packet's bytes into fields and
// findings, and the field decoders of each packet type (infoframe_fields.cpp).

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "infoframe/infoframe_decoder.h"

namespace sc::infoframe_detail {

class FieldReader {
 public:
  // `data` holds the packet's data bytes (an InfoFrame's bytes 1..L as far as the reply
  // carries them) and `length` the number the packet announces; `checking` is false for
  // the data-island packets, which the checks do not apply to.
  FieldReader(InfoFrameDecode& out, std::span<const uint8_t> data, int length, bool checking)
      : out_(out), data_(data), length_(length), checking_(checking) {}

  // Data byte n, counted from 1 as the standard does; 0 past the data.
  bool Has(int n) const { return n >= 1 && static_cast<size_t>(n) <= data_.size(); }
  uint8_t Byte(int n) const { return Has(n) ? data_[static_cast<size_t>(n - 1)] : 0; }
  // Whether the packet's length takes in data byte n (the reply may still lack it).
  bool Declares(int n) const { return n >= 1 && n <= length_; }
  // Data bytes n.. to the end.
  std::span<const uint8_t> From(int n) const;
  // A 16-bit value sent least significant byte first, at data bytes n and n + 1.
  uint32_t Word(int n) const { return Byte(n) | uint32_t{Byte(n + 1)} << 8; }

  void Number(std::string key, std::string label, uint32_t value, std::string text);
  // A field whose values have names: names[value], where a null name (or a value past the
  // list) is one the standard reserves, reported unless `reservedIsFault` is false.
  void Named(std::string key, std::string label, uint32_t value,
             std::initializer_list<const char*> names, bool reservedIsFault = true);
  void String(std::string key, std::string label, std::string value, std::string text);
  // Bytes shown as they are, under the key "body".
  void Raw(std::string label, std::span<const uint8_t> bytes);

  // Findings (InfoFrames only).
  void Reserved(std::string text);
  // The bits of `mask` in data byte n are reserved: a set one is a finding.
  void ReservedBits(int n, uint8_t mask, std::string_view where = {});
  void Length(std::string text);
  bool checking() const { return checking_; }

 private:
  InfoFrameDecode& out_;
  std::span<const uint8_t> data_;
  int length_;
  bool checking_;
};

// "0.708" from 70800 and 5 decimals: the value divided by 10^decimals, trailing zeros
// dropped.
std::string Decimal(uint64_t value, int decimals);

// The field decoders, one per type. The version selects the AVI InfoFrame's layout.
void DecodeAviFields(FieldReader& r, int version);
void DecodeAudioFields(FieldReader& r);
void DecodeSourceProductFields(FieldReader& r);
void DecodeVendorFields(FieldReader& r);
void DecodeMpegFields(FieldReader& r);
void DecodeDynamicRangeFields(FieldReader& r);
// ACP, ISRC1, ISRC2, gamut metadata: header bytes 1 and 2, then the body.
void DecodePacketFields(FieldReader& r, uint8_t type, uint8_t hb1, uint8_t hb2);

}  // namespace sc::infoframe_detail
