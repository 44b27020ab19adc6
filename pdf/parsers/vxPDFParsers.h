// The reader that turns the bytes of a PDF file into objects. It knows single
// objects, the header, the "startxref" pointer and the "trailer" keyword, and
// nothing of the file's structure beyond them. All bytes are held in memory.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <string_view>

#include "pdf/objects/vxPDFObjects.h"
#include "pdf/parsers/vxClasses.h"

namespace vx {

// Decrypts `bytes` in place as data of object (objectNumber, generation).
using TvxDecryptFunction = std::function<void(std::string& bytes, int32_t objectNumber, int32_t generation)>;
// Decrypts stream data in place; the stream's dictionary (when known) says
// which crypt filter applies, or that the data is not encrypted at all.
using TvxStreamDecryptFunction = std::function<void(std::string& bytes, int32_t objectNumber, int32_t generation,
                                                    const TvxPDFDictObject* dictionary)>;

// Keys that a parsed dictionary held more than once, noted by readers on any
// thread: each is said once, and a hostile file cannot make the list long.
class TvxDuplicateKeys {
 public:
  static constexpr size_t kMaxKept = 8;
  void Note(std::string_view key);
  // The keys noted since the last call, and how many more there were.
  std::vector<std::string> Take(size_t& more);

 private:
  std::mutex mutex_;
  std::vector<std::string> keys_;
  std::vector<std::string> said_;  // taken before: not said again
  size_t more_ = 0;
};

class TvxPDFStreamReader : public TvxRandomAccessFilter {
 public:
  // Nesting of arrays, dictionaries and indirect objects deeper than this is
  // refused: real files stay far below it, and recursion must stay bounded.
  static constexpr int kMaxNesting = 400;

  // Reads from `source` (not owned); a null source raises EInvalidStream.
  TvxPDFStreamReader(uint32_t documentID, TvxStream* source);
  // Reads from a shared buffer, which stream data read later may keep alive.
  TvxPDFStreamReader(uint32_t documentID, std::shared_ptr<const std::string> bytes);
  // Reads a file piece by piece: each parse goes through Within, and stream
  // data views the file's buffer, keeping the file alive.
  TvxPDFStreamReader(uint32_t documentID, std::shared_ptr<TvxFileOnDemand> file);

  // The size of the whole data (of the file, where it is read piece by piece).
  size_t WholeSize() const { return file_ ? file_->Size() : data_.size(); }
  bool ReadsPieces() const { return file_ && !file_->Complete(); }
  // Makes sure the bytes [at, at + count) can be looked at (as far as the
  // data goes); the view then reaches at least that far.
  void Ensure(size_t at, size_t count);
  // Reads the rest of a file read piece by piece; from then on the reader
  // sees all of it.
  void ReadWhole();
  // Runs `parse` (which parses from `at` onwards) so that its result is
  // that of a parse of the whole data: with a file read piece by piece, the
  // reader sees the bytes read from `at` on, and a parse that met their end
  // (or failed) while the file goes on runs again with twice as many. A
  // parse run here may be run several times: it must only read.
  template <typename Parse>
  auto Within(size_t at, Parse&& parse) -> decltype(parse()) {
    if (!file_) return parse();
    for (size_t want = kFirstPiece;; want *= 2) {
      const size_t end = file_->Ensure(at, want);
      SetView(end);
      if (end >= file_->Size()) return parse();
      EndMet = false;
      try {
        auto result = parse();
        if (!EndMet) return result;
      } catch (...) {
        if (!EndMet) throw;
      }
    }
  }

  void SkipWhitespace();
  // One word: the first byte unconditionally, then bytes up to a word
  // delimiter; then the white-space after it is skipped.
  std::string_view ReadWord();
  // The next word up to a name delimiter, without moving.
  std::string_view PeekWord();

  // One object at the current position, or nullptr at a closing delimiter
  // (")", ">", "]", "}"), which is left in place. The caller owns the result.
  TvxPDFObjectPtr ParseObject();
  std::unique_ptr<TvxPDFStringObject> ReadStringObject();
  std::unique_ptr<TvxPDFArrayObject> ReadArray();
  std::unique_ptr<TvxPDFNameObject> ReadName();
  std::unique_ptr<TvxPDFDictObject> ReadDictionary();

  // The data of a stream whose "stream" keyword follows; /Length `length` is
  // trusted only as far as the file agrees with it.
  std::unique_ptr<TvxMemoryStream> ReadStreamData(int64_t length, int32_t objectNumber, int32_t generation,
                                                  const TvxPDFDictObject* dictionary = nullptr);

  // The header's version as the ordinal of TvxPDFVersion (0..7 for 1.x, 8 for 2.0).
  int ReadHeaderVersion();
  // The offset written after the last "startxref" of the file.
  int64_t FindStartXRef();
  // The same within [from, end of data): a keyword that starts at or before
  // `from` is not looked at (its byte before may not be known).
  int64_t FindStartXRefFrom(size_t from);
  // Skips to the "trailer" keyword and reads the trailer dictionary.
  std::unique_ptr<TvxPDFDictObject> ReadTrailer();

  uint32_t DocumentID;
  TvxDecryptFunction Decryptor;  // empty: strings and streams are taken as read
  TvxStreamDecryptFunction StreamDecryptor;  // set: used for streams instead of Decryptor
  int32_t CurrentObjectNumber = -1;
  int32_t CurrentGeneration = -1;
  // A key given twice in a dictionary keeps its first place and its last
  // value, as other readers take it; the key is noted here (when set, not
  // owned).
  TvxDuplicateKeys* DuplicateKeys = nullptr;

 private:
  class DepthGuard;
  static constexpr size_t kFirstPiece = TvxFileOnDemand::kChunkSize;
  // Lets the view reach `end` of the file read piece by piece.
  void SetView(size_t end);
  TvxPDFObjectPtr ParseWord();
  TvxPDFObjectPtr ParseKeyword(std::string_view expected);
  std::string DescribeByte(int c) const;
  void KeepLastOfDuplicateKeys(std::vector<TvxPDFDictObject::Entry>& entries);
  void Decrypt(std::string& bytes, int32_t objectNumber, int32_t generation);
  // The string at `at` as stored, without decryption; the position is kept.
  std::unique_ptr<TvxPDFStringObject> ReadRawStringAt(size_t at);

  // The name at the position, slash included, as a view into the data.
  std::string_view ReadNameText();

  std::shared_ptr<TvxFileOnDemand> file_;  // null: the data is whole
  int depth_ = 0;
  // Words read lately: start, end and the position after the blanks that follow.
  struct WordSpan {
    size_t start = 0, end = 0, next = 0;
  };
  static constexpr int kWordCacheSize = 4;
  WordSpan wordCache_[kWordCacheSize];
  int nextWordSlot_ = 0;
  // Containers are collected here, one list per nesting level, and then
  // moved into exactly sized lists.
  // (deques: growing them keeps the outer levels' lists in place)
  std::deque<std::vector<TvxPDFObjectPtr>> itemScratch_;
  std::deque<std::vector<TvxPDFDictObject::Entry>> entryScratch_;
};

}  // namespace vx
