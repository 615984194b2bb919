// Windows Metafiles written byte by byte for tests: an optional placeable
// header, the standard header (filled in from the records) and the records.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace qorve::test {

class MetafileMaker {
 public:
  // Function numbers of the records the tests draw with.
  static constexpr uint16_t kSetWindowOrg = 0x020B;
  static constexpr uint16_t kSetWindowExt = 0x020C;
  static constexpr uint16_t kCreateBrushIndirect = 0x02FC;
  static constexpr uint16_t kCreatePenIndirect = 0x02FA;
  static constexpr uint16_t kSelectObject = 0x012D;
  static constexpr uint16_t kRectangle = 0x041B;
  static constexpr uint16_t kPolyline = 0x0325;
  static constexpr uint16_t kFloodFill = 0x0419;
  static constexpr uint16_t kExtFloodFill = 0x0548;
  static constexpr uint16_t kTextOut = 0x0521;

  // Frames (left, top)-(right, bottom) in logical units, `inch` of them to an inch.
  MetafileMaker& Placeable(int left, int top, int right, int bottom, int inch) {
    placeable_.clear();
    PutDoubleWord(placeable_, 0x9AC6CDD7u);
    for (int word : {0, left, top, right, bottom, inch}) PutWord(placeable_, word);
    PutDoubleWord(placeable_, 0);
    uint16_t checksum = 0;
    for (std::size_t i = 0; i < placeable_.size(); i += 2) {
      checksum ^= static_cast<uint16_t>(static_cast<uint8_t>(placeable_[i]) |
                                        static_cast<uint8_t>(placeable_[i + 1]) << 8);
    }
    PutWord(placeable_, checksum);
    return *this;
  }

  MetafileMaker& Record(uint16_t function, std::initializer_list<int> words) {
    const uint32_t size = 3 + static_cast<uint32_t>(words.size());
    if (size > largestRecord_) largestRecord_ = size;
    PutDoubleWord(records_, size);
    PutWord(records_, function);
    for (int word : words) PutWord(records_, word);
    return *this;
  }

  MetafileMaker& WindowOrg(int x, int y) { return Record(kSetWindowOrg, {y, x}); }
  MetafileMaker& WindowExt(int x, int y) { return Record(kSetWindowExt, {y, x}); }
  // A solid brush of 0xRRGGBB, selected at once.
  MetafileMaker& SolidBrush(uint32_t rgb) {
    const uint32_t colorref = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
    Record(kCreateBrushIndirect, {0, static_cast<int>(colorref & 0xFFFF), static_cast<int>(colorref >> 16), 0});
    return Select(objects_++);
  }
  // A pen of 0xRRGGBB (style 0 solid, 5 none), selected at once.
  MetafileMaker& Pen(int style, int width, uint32_t rgb) {
    const uint32_t colorref = (rgb >> 16 & 0xFF) | (rgb & 0xFF00) | (rgb & 0xFF) << 16;
    Record(kCreatePenIndirect,
           {style, width, 0, static_cast<int>(colorref & 0xFFFF), static_cast<int>(colorref >> 16)});
    return Select(objects_++);
  }
  // Any object record (font, palette, region), selected at once.
  MetafileMaker& Object(uint16_t function, std::initializer_list<int> words) {
    Record(function, words);
    return Select(objects_++);
  }
  MetafileMaker& Select(int index) { return Record(kSelectObject, {index}); }
  MetafileMaker& Rectangle(int left, int top, int right, int bottom) {
    return Record(kRectangle, {bottom, right, top, left});
  }

  // The file: headers, records and the end record.
  std::string Bytes() const {
    std::string body = records_;
    PutDoubleWord(body, 3);
    PutWord(body, 0);
    std::string file = placeable_;
    PutWord(file, 1);       // memory metafile
    PutWord(file, 9);       // header words
    PutWord(file, 0x0300);  // version
    PutDoubleWord(file, static_cast<uint32_t>((18 + body.size()) / 2));
    PutWord(file, objects_);
    PutDoubleWord(file, largestRecord_);
    PutWord(file, 0);
    return file + body;
  }

 private:
  static void PutWord(std::string& out, int value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
  }
  static void PutDoubleWord(std::string& out, uint32_t value) {
    PutWord(out, static_cast<int>(value & 0xFFFF));
    PutWord(out, static_cast<int>(value >> 16));
  }

  std::string placeable_;
  std::string records_;
  int objects_ = 0;
  uint32_t largestRecord_ = 3;
};

}  // namespace qorve::test
